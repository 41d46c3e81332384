package xmlpellor.saxon;

import java.io.IOException;
import java.io.InputStream;

/** A file the engine's process opened for the job; it counts the main document's progress. */
final class NativeInput extends InputStream {
  private int fd;

  NativeInput(int fd) {
    this.fd = fd;
  }

  @Override
  public int read() throws IOException {
    byte[] one = new byte[1];
    return read(one, 0, 1) <= 0 ? -1 : one[0] & 0xFF;
  }

  @Override
  public int read(byte[] buffer, int offset, int length) throws IOException {
    if (fd < 0) throw new IOException("Stream closed");
    if (length == 0) return 0;
    return Host.read(fd, buffer, offset, length);
  }

  @Override
  public void close() {
    if (fd >= 0) Host.close(fd);
    fd = -1;
  }
}
