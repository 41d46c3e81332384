package xmlpellor.saxon;

import java.io.IOException;
import java.io.OutputStream;

/** The job's output, written straight into the file the window reads it from. */
final class NativeOutput extends OutputStream {
  @Override
  public void write(int b) throws IOException {
    write(new byte[] {(byte) b}, 0, 1);
  }

  @Override
  public void write(byte[] buffer, int offset, int length) throws IOException {
    Host.write(buffer, offset, length);
  }
}
