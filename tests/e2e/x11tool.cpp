// Small X11 helper for the end-to-end test:
//   x11tool close <window id>   asks a window to close, as a window manager's
//                               close button would (WM_DELETE_WINDOW)
//   x11tool shot <file.png>     saves the whole screen
#include <QImage>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct DisplayCloser {
  void operator()(Display* d) const { XCloseDisplay(d); }
};
struct ImageDestroyer {
  void operator()(XImage* i) const { XDestroyImage(i); }
};

int Close(Display* display, Window window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
  return 0;
}

int Shot(Display* display, const char* file) {
  const Window root = DefaultRootWindow(display);
  XWindowAttributes attributes{};
  XGetWindowAttributes(display, root, &attributes);
  std::unique_ptr<XImage, ImageDestroyer> image(
      XGetImage(display, root, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap));
  if (!image) return 1;
  QImage out(attributes.width, attributes.height, QImage::Format_RGB32);
  for (int y = 0; y < attributes.height; ++y) {
    for (int x = 0; x < attributes.width; ++x) {
      const unsigned long p = XGetPixel(image.get(), x, y);
      out.setPixel(x, y, qRgb((p >> 16) & 0xff, (p >> 8) & 0xff, p & 0xff));
    }
  }
  return out.save(QString::fromLocal8Bit(file)) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s close <window id> | shot <file.png>\n", argv[0]);
    return 2;
  }
  std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
  if (!display) return 1;
  if (std::strcmp(argv[1], "close") == 0) {
    return Close(display.get(), static_cast<Window>(std::strtoul(argv[2], nullptr, 0)));
  }
  if (std::strcmp(argv[1], "shot") == 0) return Shot(display.get(), argv[2]);
  return 2;
}
