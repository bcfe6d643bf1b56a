// Renders the program icon at the icon theme's sizes: each size is scaled
// from the drawn 16 or 32 pixel icon by whole factors, so the pixel art stays
// crisp.  usage: vivedaziv-icons ICON_16 ICON_32 OUTPUT_DIR
#include <QDir>
#include <QImage>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: vivedaziv-icons ICON_16 ICON_32 OUTPUT_DIR\n");
    return 2;
  }
  const QImage small(QString::fromLocal8Bit(argv[1]));
  const QImage large(QString::fromLocal8Bit(argv[2]));
  if (small.isNull() || large.isNull()) {
    std::fprintf(stderr, "vivedaziv-icons: cannot read the icons\n");
    return 1;
  }
  const QDir out(QString::fromLocal8Bit(argv[3]));
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    const QImage& source = (size % 32 == 0) ? large : small;
    const QImage scaled = source.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    const QString path = out.filePath(QString("vivedaziv-%1.png").arg(size));
    if (!scaled.save(path, "PNG")) {
      std::fprintf(stderr, "vivedaziv-icons: cannot write %s\n", qPrintable(path));
      return 1;
    }
  }
  return 0;
}
