package xmlpellor.saxon;

import javax.xml.transform.ErrorListener;
import javax.xml.transform.SourceLocator;
import javax.xml.transform.TransformerException;
import net.sf.saxon.s9api.MessageListener;
import net.sf.saxon.s9api.XdmNode;
import net.sf.saxon.trans.XPathException;

/**
 * What the compiler and the transformation say, passed on as it comes: the engine's process
 * streams each line to the window and keeps the errors for the ending.
 */
final class Listener implements ErrorListener, MessageListener {
  @Override
  public void message(XdmNode content, boolean terminate, SourceLocator locator) {
    Host.message(content.getStringValue(), terminate);
  }

  @Override
  public void warning(TransformerException e) {
    report(0, e);
  }

  @Override
  public void error(TransformerException e) {
    report(1, e);
  }

  @Override
  public void fatalError(TransformerException e) {
    report(1, e);
  }

  static void report(int severity, Throwable failure) {
    String code = null;
    SourceLocator locator = null;
    String text = failure.getMessage();
    if (failure instanceof XPathException) {
      code = ((XPathException) failure).getErrorCodeLocalPart();
    }
    if (failure instanceof TransformerException) {
      locator = ((TransformerException) failure).getLocator();
    }
    if (text == null) text = failure.toString();
    Host.report(
        severity,
        code,
        text,
        locator == null ? null : locator.getSystemId(),
        locator == null ? -1 : locator.getLineNumber(),
        locator == null ? -1 : locator.getColumnNumber());
  }
}
