package xmlpellor.saxon;

import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.IdentityHashMap;
import java.util.List;
import java.util.Map;
import net.sf.saxon.Controller;
import net.sf.saxon.expr.XPathContext;
import net.sf.saxon.lib.Logger;
import net.sf.saxon.lib.TraceListener;
import net.sf.saxon.om.Item;
import net.sf.saxon.om.StandardNames;
import net.sf.saxon.om.StructuredQName;
import net.sf.saxon.trace.InstructionInfo;

/**
 * Counts and times each template of a stylesheet compiled with tracing, as Saxon's own
 * TimingTraceListener does, but keeps the figures for the window instead of writing a page.
 */
final class Profiler implements TraceListener {
  private static final class Figures {
    final InstructionInfo template;
    long calls;
    long selfNanos;
    long totalNanos;
    int active; // activations on the stack now: a recursive one adds no total again

    Figures(InstructionInfo template) {
      this.template = template;
    }
  }

  private static final class Frame {
    final Figures figures;
    final long started;
    long calleeNanos;

    Frame(Figures figures, long started) {
      this.figures = figures;
      this.started = started;
    }
  }

  // Saxon makes one trace expression for each template: its identity is the template's.
  private final Map<InstructionInfo, Figures> figures = new IdentityHashMap<>();
  private final List<Figures> order = new ArrayList<>();
  private final ArrayDeque<Frame> stack = new ArrayDeque<>();

  @Override
  public void setOutputDestination(Logger logger) {}

  @Override
  public void open(Controller controller) {}

  @Override
  public void close() {}

  @Override
  public void enter(InstructionInfo instruction, XPathContext context) {
    if (instruction.getConstructType() != StandardNames.XSL_TEMPLATE) return;
    Figures f = figures.get(instruction);
    if (f == null) {
      f = new Figures(instruction);
      figures.put(instruction, f);
      order.add(f);
    }
    f.calls++;
    f.active++;
    stack.push(new Frame(f, System.nanoTime()));
  }

  @Override
  public void leave(InstructionInfo instruction) {
    if (instruction.getConstructType() != StandardNames.XSL_TEMPLATE || stack.isEmpty()) return;
    Frame frame = stack.pop();
    long total = System.nanoTime() - frame.started;
    Figures f = frame.figures;
    f.active--;
    f.selfNanos += Math.max(0, total - frame.calleeNanos);
    if (f.active == 0) f.totalNanos += total;
    if (!stack.isEmpty()) stack.peek().calleeNanos += total;
  }

  // Saxon's interface names the raw type.
  @Override
  @SuppressWarnings("rawtypes")
  public void startCurrentItem(Item item) {}

  @Override
  @SuppressWarnings("rawtypes")
  public void endCurrentItem(Item item) {}

  private static String text(Object value) {
    return value == null ? "" : value.toString();
  }

  /**
   * Eight texts for each template that ran, in the order they first ran: match, name, mode,
   * system id, line, calls, microseconds of its own, with its callees.
   */
  String[] rows() {
    String[] rows = new String[8 * order.size()];
    int i = 0;
    for (Figures f : order) {
      InstructionInfo t = f.template;
      StructuredQName name = t.getObjectName();
      String mode = text(t.getProperty("mode"));
      rows[i++] = text(t.getProperty("match"));
      rows[i++] = name == null ? "" : name.getDisplayName();
      rows[i++] = mode.equals("#default") || mode.equals("#unnamed") ? "" : mode;
      rows[i++] = text(t.getSystemId());
      rows[i++] = Integer.toString(t.getLineNumber());
      rows[i++] = Long.toString(f.calls);
      rows[i++] = Long.toString(f.selfNanos / 1000);
      rows[i++] = Long.toString(f.totalNanos / 1000);
    }
    return rows;
  }
}
