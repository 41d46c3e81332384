package xmlpellor.saxon;

import java.io.IOException;

/**
 * The engine's process, reached through JNI. It registers these methods when it starts, so
 * every file Saxon reads is judged by the job's read policy there, and what the job says and
 * writes goes straight to the window's channel and output.
 */
final class Host {
  private Host() {}

  /** Opens a file: URI for reading; throws with the refusal's or the system's words. */
  static native int open(String uri, boolean document) throws IOException;

  /**
   * What the system's XML catalogs make of a name (a DTD's public and system identifiers, a URI),
   * as libxml2 looks up every read of the libxslt engine; the name itself when they know none.
   */
  static native String catalog(String publicId, String systemId);

  static native int read(int fd, byte[] buffer, int offset, int length) throws IOException;

  static native void close(int fd);

  /** The output's bytes, as the serializer makes them. */
  static native void write(byte[] buffer, int offset, int length) throws IOException;

  /**
   * Begins a file xsl:result-document writes beside the output; its number for writeDocument, or
   * throws with the refusal's words.
   */
  static native int openDocument(String href) throws IOException;

  static native void writeDocument(int document, byte[] buffer, int offset, int length)
      throws IOException;

  /** One xsl:message. */
  static native void message(String text, boolean terminate);

  /** An error or warning of the compiler or the transformation; severity 0 warning, 1 error. */
  static native void report(
      int severity, String code, String text, String systemId, int line, int column);

  /** The file: URIs of the documents of a collection the job may read. */
  static native String[] collection(String uri) throws IOException;
}
