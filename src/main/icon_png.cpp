// Run by the build: the program's icon as the PNG its desktop entry names,
// read with the icon's mask as the window and the tray read it.
//
//   snapwick_icon_png ICO SIDE PNG

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/linux/app_icon.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: snapwick_icon_png ICO SIDE PNG\n");
    return 2;
  }
  QFile ico(QFile::decodeName(argv[1]));
  if (!ico.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "snapwick_icon_png: cannot read %s\n", argv[1]);
    return 1;
  }
  const std::vector<QImage> images = snapwick::linux::ReadIconImages(ico.readAll());
  const int side = QByteArray(argv[2]).toInt();
  if (images.empty() || side <= 0) {
    std::fprintf(stderr, "snapwick_icon_png: no icon image in %s, or no size\n", argv[1]);
    return 1;
  }
  const QImage& largest = *std::max_element(
      images.begin(), images.end(),
      [](const auto& a, const auto& b) { return a.width() * a.height() < b.width() * b.height(); });
  // Whole multiples keep the drawn pixels sharp.
  const bool whole = side % largest.width() == 0 && side % largest.height() == 0;
  const QImage scaled = largest.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                            .scaled(side, side, Qt::IgnoreAspectRatio,
                                    whole ? Qt::FastTransformation : Qt::SmoothTransformation);
  if (!scaled.save(QFile::decodeName(argv[3]), "PNG")) {
    std::fprintf(stderr, "snapwick_icon_png: cannot write %s\n", argv[3]);
    return 1;
  }
  return 0;
}
