// Renders the 16 x 16 window icon at the sizes a desktop's menus and launchers
// ask for. Each pixel becomes a square block (nearest neighbour), so every
// size shows the same picture as the window's title bar; the SVG does the
// same with one rectangle per run of equal pixels.
//
// Usage: xmlpellor_render_icon ICON.xpm OUTDIR SIZE...
// Writes OUTDIR/<SIZE>x<SIZE>.png for each SIZE, and OUTDIR/scalable.svg.

#include <QColor>
#include <QFile>
#include <QImage>
#include <QString>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>

namespace {

int Fail(const char* what, const QString& path) {
  std::fprintf(stderr, "xmlpellor_render_icon: %s: %s\n", what, qPrintable(path));
  return EXIT_FAILURE;
}

bool WriteSvg(const QImage& image, const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  QTextStream out(&file);
  out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << image.width() << "\" height=\""
      << image.height() << "\" viewBox=\"0 0 " << image.width() << ' ' << image.height()
      << "\" shape-rendering=\"crispEdges\">\n";
  for (int y = 0; y < image.height(); ++y) {
    int x = 0;
    while (x < image.width()) {
      const QRgb pixel = image.pixel(x, y);
      int run = 1;
      while (x + run < image.width() && image.pixel(x + run, y) == pixel) ++run;
      if (qAlpha(pixel) != 0) {
        out << "<rect x=\"" << x << "\" y=\"" << y << "\" width=\"" << run
            << "\" height=\"1\" fill=\"" << QColor(pixel).name() << "\"/>\n";
      }
      x += run;
    }
  }
  out << "</svg>\n";
  out.flush();
  return out.status() == QTextStream::Ok && file.error() == QFileDevice::NoError;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: xmlpellor_render_icon ICON.xpm OUTDIR SIZE...\n");
    return EXIT_FAILURE;
  }
  const QString source = QString::fromLocal8Bit(argv[1]);
  const QString outDir = QString::fromLocal8Bit(argv[2]);
  const QImage icon = QImage(source, "XPM").convertToFormat(QImage::Format_ARGB32);
  if (icon.isNull()) return Fail("cannot read the icon", source);

  for (int i = 3; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    if (size <= 0 || size % icon.width() != 0 || size % icon.height() != 0) {
      return Fail("size is not a whole multiple of the icon", QString::fromLocal8Bit(argv[i]));
    }
    const QString target = QStringLiteral("%1/%2x%2.png").arg(outDir).arg(size);
    const QImage scaled = icon.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (!scaled.save(target, "PNG", 9)) return Fail("cannot write", target);
  }
  const QString svg = outDir + QStringLiteral("/scalable.svg");
  if (!WriteSvg(icon, svg)) return Fail("cannot write", svg);
  return EXIT_SUCCESS;
}
