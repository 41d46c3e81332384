package xmlpellor.saxon;

import java.util.ArrayList;
import java.util.HashMap;
import java.util.IdentityHashMap;
import java.util.List;
import java.util.Map;
import net.sf.saxon.Controller;
import net.sf.saxon.event.PipelineConfiguration;
import net.sf.saxon.event.ProxyReceiver;
import net.sf.saxon.event.Receiver;
import net.sf.saxon.expr.Expression;
import net.sf.saxon.expr.XPathContext;
import net.sf.saxon.expr.parser.ExplicitLocation;
import net.sf.saxon.expr.parser.Location;
import net.sf.saxon.lib.Logger;
import net.sf.saxon.lib.TraceListener;
import net.sf.saxon.om.AxisInfo;
import net.sf.saxon.om.Item;
import net.sf.saxon.om.NodeInfo;
import net.sf.saxon.om.NodeName;
import net.sf.saxon.om.NoNamespaceName;
import net.sf.saxon.om.StandardNames;
import net.sf.saxon.om.StructuredQName;
import net.sf.saxon.s9api.AbstractDestination;
import net.sf.saxon.s9api.Destination;
import net.sf.saxon.s9api.SaxonApiException;
import net.sf.saxon.s9api.Serializer;
import net.sf.saxon.serialize.SerializationProperties;
import net.sf.saxon.trace.InstructionInfo;
import net.sf.saxon.trace.LocationKind;
import net.sf.saxon.trans.XPathException;
import net.sf.saxon.trans.rules.Rule;
import net.sf.saxon.tree.iter.AxisIterator;
import net.sf.saxon.type.BuiltInAtomicType;
import net.sf.saxon.type.SchemaType;
import net.sf.saxon.type.SimpleType;
import net.sf.saxon.type.Type;

/**
 * Notes which instruction of which template made each element of the principal result of a run
 * compiled with tracing, and gives each element the attribute that names its entry; the tables go
 * to the process as arrays.
 *
 * <p>Saxon's outputter holds an element's start tag until its first child or its end, so an
 * element reaches the marker while later instructions run. Elements leave the outputter in the
 * order their constructors started, and a constructor stays on the stack until its element has
 * left, so the element leaving is the one of the lowest running constructor that has not had
 * its element yet; copied elements have none and belong to the copying instruction.
 */
final class Origins implements TraceListener {
  static final String ATTRIBUTE = "data-xmlpellor-origin";
  private static final int ELEMENT = 0;
  private static final int PART_ATTRIBUTE = 1;
  private static final int PART_TEXT = 2;
  // Enough of a text to know it again; the process shortens it further.
  private static final int LABEL_CHARS = 200;

  private static final class Frame {
    final InstructionInfo info;
    final Item<?> item; // the context item as the instruction began
    boolean claimed; // an element constructor whose element has left, or that makes none

    Frame(InstructionInfo info, Item<?> item, boolean claimed) {
      this.info = info;
      this.item = item;
      this.claimed = claimed;
    }
  }

  private final ArrayList<Frame> stack = new ArrayList<>();
  // Where an attribute's instruction is, by the location Saxon hands on with the attribute.
  private final Map<Location, InstructionInfo> attributeMakers = new IdentityHashMap<>();
  private final Map<InstructionInfo, String> priorities = new IdentityHashMap<>();

  private final Map<InstructionInfo, Integer> templateIndex = new IdentityHashMap<>();
  private final List<String> templateRows = new ArrayList<>();
  private final Map<Object, Integer> instructionIndex = new HashMap<>();
  private final List<String> instructionRows = new ArrayList<>();
  private final Map<NodeInfo, Integer> sourceIndex = new HashMap<>();
  private final List<String> sourceRows = new ArrayList<>();
  private final Map<NodeInfo, String> elementPaths = new HashMap<>();
  // Of each child of a parent counted: its place among the same steps, and how many there are.
  private final Map<NodeInfo, int[]> positions = new HashMap<>();
  private int[] origins = new int[5 * 64];
  private int originCount;
  private final ArrayList<String> labels = new ArrayList<>();

  Destination mark(Serializer serializer) {
    return new AbstractDestination() {
      @Override
      public Receiver getReceiver(PipelineConfiguration pipe, SerializationProperties properties)
          throws SaxonApiException {
        return new Marker(serializer.getReceiver(pipe, properties));
      }

      @Override
      public void close() throws SaxonApiException {
        serializer.close();
      }
    };
  }

  @Override
  public void setOutputDestination(Logger logger) {}

  @Override
  public void open(Controller controller) {}

  @Override
  public void close() {}

  @Override
  public void enter(InstructionInfo info, XPathContext context) {
    int type = info.getConstructType();
    Item<?> item = context.getContextItem();
    boolean claimed = !isConstructor(type);
    if (type == StandardNames.XSL_COPY) {
      claimed = !(item instanceof NodeInfo && ((NodeInfo) item).getNodeKind() == Type.ELEMENT);
    }
    stack.add(new Frame(info, item, claimed));
    if ((type == StandardNames.XSL_ATTRIBUTE || type == LocationKind.LITERAL_RESULT_ELEMENT)
        && info instanceof Expression) {
      attributeMakers.put(((Expression) info).getLocation(), info);
    }
    if (type == StandardNames.XSL_TEMPLATE && !priorities.containsKey(info)) {
      priorities.put(info, priorityOf(context.getCurrentTemplateRule()));
    }
  }

  @Override
  public void leave(InstructionInfo info) {
    if (!stack.isEmpty()) stack.remove(stack.size() - 1);
  }

  // Saxon's interface names the raw type.
  @Override
  @SuppressWarnings("rawtypes")
  public void startCurrentItem(Item item) {}

  @Override
  @SuppressWarnings("rawtypes")
  public void endCurrentItem(Item item) {}

  private static boolean isConstructor(int type) {
    return type == LocationKind.LITERAL_RESULT_ELEMENT
        || type == StandardNames.XSL_ELEMENT
        || type == StandardNames.XSL_COPY;
  }

  private static boolean appliesTemplates(int type) {
    return type == StandardNames.XSL_APPLY_TEMPLATES
        || type == StandardNames.XSL_APPLY_IMPORTS
        || type == StandardNames.XSL_NEXT_MATCH;
  }

  // A priority the stylesheet gave; Saxon keeps only the one in force, and one equal to the
  // pattern's default is taken for none given.
  private static String priorityOf(Rule rule) {
    if (rule == null || rule.getPattern() == null) return "";
    double priority = rule.getPriority();
    if (priority == rule.getPattern().getDefaultPriority()) return "";
    return priority == Math.rint(priority) && Math.abs(priority) < 1e15
        ? Long.toString((long) priority)
        : Double.toString(priority);
  }

  // The frame of the instruction that made the element leaving the outputter now.
  private int makerOfElement() {
    for (int i = 0; i < stack.size(); ++i) {
      Frame frame = stack.get(i);
      if (!frame.claimed) {
        frame.claimed = true;
        return i;
      }
    }
    return stack.size() - 1;
  }

  // The template running at frame `at`: none where a built-in rule is, between it and the
  // xsl:apply-templates that chose it.
  private int templateAt(int at) {
    for (int i = at; i >= 0; --i) {
      InstructionInfo info = stack.get(i).info;
      int type = info.getConstructType();
      if (type == StandardNames.XSL_TEMPLATE) return template(info);
      if (appliesTemplates(type)) return -1;
    }
    return -1;
  }

  private int template(InstructionInfo info) {
    Integer known = templateIndex.get(info);
    if (known != null) return known;
    int index = templateIndex.size();
    templateIndex.put(info, index);
    StructuredQName name = info.getObjectName();
    String mode = text(info.getProperty("mode"));
    templateRows.add(text(info.getProperty("match")));
    templateRows.add(name == null ? "" : name.getDisplayName());
    templateRows.add(mode.equals("#default") || mode.equals("#unnamed") ? "" : mode);
    templateRows.add(priorities.getOrDefault(info, ""));
    templateRows.add(text(info.getSystemId()));
    templateRows.add(Integer.toString(Math.max(info.getLineNumber(), 0)));
    return index;
  }

  private int instruction(Object key, String name, String systemId, int line) {
    Integer known = instructionIndex.get(key);
    if (known != null) return known;
    int index = instructionIndex.size();
    instructionIndex.put(key, index);
    instructionRows.add(name);
    instructionRows.add(text(systemId));
    instructionRows.add(Integer.toString(Math.max(line, 0)));
    return index;
  }

  private int instruction(InstructionInfo info) {
    return instruction(info, nameOf(info), info.getSystemId(), info.getLineNumber());
  }

  // Text the stylesheet writes as it stands, or through a text value template: its constructor
  // is what runs, and the text's own line is where it is.
  private int writtenText(InstructionInfo maker, Location location) {
    String systemId = location.getSystemId() != null ? location.getSystemId() : maker.getSystemId();
    int line = location.getLineNumber() > 0 ? location.getLineNumber() : maker.getLineNumber();
    return instruction(List.of("text", text(systemId), line), "text", systemId, line);
  }

  private int builtIn(InstructionInfo info) {
    return instruction(
        List.of("built-in", info),
        nameOf(info) + ", by the built-in template rule",
        info.getSystemId(),
        info.getLineNumber());
  }

  private static String nameOf(InstructionInfo info) {
    int type = info.getConstructType();
    StructuredQName name = info.getObjectName();
    if (type == LocationKind.LITERAL_RESULT_ELEMENT && name != null) {
      return "<" + name.getDisplayName() + ">";
    }
    if (type < 1024) return StandardNames.getDisplayName(type);
    return name != null ? name.getDisplayName() : "an instruction";
  }

  private int source(Item<?> item) {
    if (!(item instanceof NodeInfo)) return -1;
    NodeInfo node = (NodeInfo) item;
    Integer known = sourceIndex.get(node);
    if (known != null) return known;
    int index = sourceIndex.size();
    sourceIndex.put(node, index);
    NodeInfo root = node.getRoot();
    sourceRows.add(pathOf(node));
    sourceRows.add(text(root != null ? root.getSystemId() : node.getSystemId()));
    sourceRows.add(
        Integer.toString(node.getNodeKind() == Type.DOCUMENT ? 0 : Math.max(node.getLineNumber(), 0)));
    return index;
  }

  // As /orders/order[2]/item: a position only where a parent has more than one of the step. Each
  // parent's children are counted once and each element's path kept for its children, as a
  // table of many rows would otherwise take minutes.
  private String pathOf(NodeInfo node) {
    int kind = node.getNodeKind();
    if (kind == Type.DOCUMENT) return "/";
    if (kind == Type.NAMESPACE) return "a namespace node";
    NodeInfo parent = node.getParent();
    boolean top = parent == null || parent.getNodeKind() == Type.DOCUMENT;
    if (kind == Type.ELEMENT) return elementPath(node);
    String above = top ? "" : elementPath(parent);
    if (kind == Type.ATTRIBUTE) return above + "/@" + node.getDisplayName();
    return above + "/" + step(node) + position(node);
  }

  private String elementPath(NodeInfo element) {
    String known = elementPaths.get(element);
    if (known != null) return known;
    NodeInfo parent = element.getParent();
    boolean top = parent == null || parent.getNodeKind() == Type.DOCUMENT;
    String path = (top ? "" : elementPath(parent)) + "/" + step(element) + position(element);
    elementPaths.put(element, path);
    return path;
  }

  private static String step(NodeInfo node) {
    switch (node.getNodeKind()) {
      case Type.ELEMENT:
        return node.getDisplayName();
      case Type.TEXT:
        return "text()";
      case Type.COMMENT:
        return "comment()";
      case Type.PROCESSING_INSTRUCTION:
        return "processing-instruction('" + node.getLocalPart() + "')";
      default:
        return "node()";
    }
  }

  private String position(NodeInfo node) {
    NodeInfo parent = node.getParent();
    if (parent == null) return "";
    int[] place = positions.get(node);
    if (place == null) {
      Map<String, Integer> counts = new HashMap<>();
      List<NodeInfo> children = new ArrayList<>();
      List<String> steps = new ArrayList<>();
      AxisIterator iterator = parent.iterateAxis(AxisInfo.CHILD);
      for (NodeInfo child = iterator.next(); child != null; child = iterator.next()) {
        String step = step(child);
        int n = counts.merge(step, 1, Integer::sum);
        positions.put(child, new int[] {n, 0});
        children.add(child);
        steps.add(step);
      }
      for (int i = 0; i < children.size(); ++i) {
        positions.get(children.get(i))[1] = counts.get(steps.get(i));
      }
      place = positions.get(node);
      if (place == null) return "";
    }
    return place[1] > 1 ? "[" + place[0] + "]" : "";
  }

  private int addOrigin(int element, int part, String label, int templ, int made, int source) {
    if (5 * (originCount + 1) > origins.length) {
      origins = java.util.Arrays.copyOf(origins, 2 * origins.length);
    }
    int at = 5 * originCount;
    origins[at] = element;
    origins[at + 1] = part;
    origins[at + 2] = templ;
    origins[at + 3] = made;
    origins[at + 4] = source;
    labels.add(label);
    return originCount++;
  }

  private static String text(Object value) {
    return value == null ? "" : value.toString();
  }

  /** Each template: match, name, mode, priority, system id, line. */
  String[] templates() {
    return templateRows.toArray(new String[0]);
  }

  /** Each instruction: name, system id, line. */
  String[] instructions() {
    return instructionRows.toArray(new String[0]);
  }

  /** Each source node: path, system id of its document, line. */
  String[] sources() {
    return sourceRows.toArray(new String[0]);
  }

  /** Each entry: element, part, template, instruction, source; -1 for none. */
  int[] origins() {
    return java.util.Arrays.copyOf(origins, 5 * originCount);
  }

  /** Each entry's label: an attribute's name, the start of a text. */
  String[] labels() {
    return labels.toArray(new String[0]);
  }

  /** Marks the elements of the principal result as they leave Saxon's outputter. */
  private final class Marker extends ProxyReceiver {
    private final ArrayList<Integer> open = new ArrayList<>();
    private final ArrayList<Integer> openTemplates = new ArrayList<>();
    private final ArrayList<Integer> openSources = new ArrayList<>();
    private final ArrayList<Integer> openInstructions = new ArrayList<>();
    private int element = -1; // the element whose start tag is passing, until its content
    // The text run of the innermost open element: its entry once it has more than white space.
    private int textPart = -1;
    private final StringBuilder label = new StringBuilder();

    Marker(Receiver next) {
      super(next);
    }

    private void endText() {
      if (textPart >= 0) labels.set(textPart, label.toString());
      textPart = -1;
      label.setLength(0);
    }

    @Override
    public void startElement(NodeName name, SchemaType type, Location location, int properties)
        throws XPathException {
      endText();
      int at = makerOfElement();
      int templ = -1;
      int made = -1;
      int source = -1;
      if (at >= 0) {
        Frame frame = stack.get(at);
        templ = templateAt(at);
        int kind = frame.info.getConstructType();
        made = appliesTemplates(kind) ? builtIn(frame.info) : instruction(frame.info);
        source = source(frame.item);
      }
      element = addOrigin(originCount, ELEMENT, "", templ, made, source);
      open.add(element);
      openTemplates.add(templ);
      openSources.add(source);
      openInstructions.add(made);
      super.startElement(name, type, location, properties);
    }

    @Override
    public void attribute(
        NodeName name, SimpleType type, CharSequence value, Location location, int properties)
        throws XPathException {
      // Marked again, the element keeps one mark: this run's.
      if (name.hasURI("") && name.getLocalPart().equals(ATTRIBUTE)) return;
      if (element >= 0) {
        int last = open.size() - 1;
        InstructionInfo maker = attributeMakers.get(location);
        int made = maker != null ? instruction(maker) : openInstructions.get(last);
        addOrigin(
            element,
            PART_ATTRIBUTE,
            name.getDisplayName(),
            openTemplates.get(last),
            made,
            openSources.get(last));
      }
      super.attribute(name, type, value, location, properties);
    }

    @Override
    public void startContent() throws XPathException {
      if (element >= 0) {
        super.attribute(
            new NoNamespaceName(ATTRIBUTE),
            BuiltInAtomicType.UNTYPED_ATOMIC,
            Integer.toString(element),
            ExplicitLocation.UNKNOWN_LOCATION,
            0);
        element = -1;
      }
      super.startContent();
    }

    @Override
    public void endElement() throws XPathException {
      endText();
      if (!open.isEmpty()) {
        int last = open.size() - 1;
        open.remove(last);
        openTemplates.remove(last);
        openSources.remove(last);
        openInstructions.remove(last);
      }
      super.endElement();
    }

    @Override
    public void characters(CharSequence chars, Location location, int properties)
        throws XPathException {
      if (!open.isEmpty()) {
        if (textPart < 0 && !isWhite(chars) && !stack.isEmpty()) {
          int top = stack.size() - 1;
          Frame frame = stack.get(top);
          int kind = frame.info.getConstructType();
          int made;
          if (appliesTemplates(kind)) {
            made = builtIn(frame.info);
          } else if (isConstructor(kind) || kind == StandardNames.XSL_TEMPLATE) {
            made = writtenText(frame.info, location);
          } else {
            made = instruction(frame.info);
          }
          textPart =
              addOrigin(
                  open.get(open.size() - 1),
                  PART_TEXT,
                  "",
                  templateAt(top),
                  made,
                  source(frame.item));
        }
        if (textPart >= 0 && label.length() < LABEL_CHARS) {
          label.append(chars, 0, Math.min(chars.length(), LABEL_CHARS - label.length()));
        }
      }
      super.characters(chars, location, properties);
    }

    @Override
    public void comment(CharSequence chars, Location location, int properties)
        throws XPathException {
      endText();
      super.comment(chars, location, properties);
    }

    @Override
    public void processingInstruction(
        String target, CharSequence data, Location location, int properties)
        throws XPathException {
      endText();
      super.processingInstruction(target, data, location, properties);
    }

    @Override
    public void close() throws XPathException {
      endText();
      super.close();
    }
  }

  private static boolean isWhite(CharSequence chars) {
    for (int i = 0; i < chars.length(); ++i) {
      if (!Character.isWhitespace(chars.charAt(i))) return false;
    }
    return true;
  }
}
