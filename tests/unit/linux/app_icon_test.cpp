// The icon with its transparent area at every tray size, and the reader
// of the icon file's images and masks.

#include "platform/linux/app_icon.h"

#include <gtest/gtest.h>

#include <QPixmap>
#include <cstdint>
#include <string>
#include <vector>

namespace snapwick::linux {
namespace {

void PutLe(QByteArray& out, std::uint32_t value, int size) {
  for (int i = 0; i < size; ++i) out.append(static_cast<char>(value >> (8 * i) & 0xff));
}

// A one-image .ico, `side` pixels square: every pixel's colour from
// `colour(x, y)` (BGRA), its mask bit set where `through(x, y)`.
template <typename Colour, typename Through>
QByteArray IcoFile(int side, int bits, Colour colour, Through through, std::uint32_t header = 40) {
  QByteArray image;
  PutLe(image, header, 4);
  PutLe(image, static_cast<std::uint32_t>(side), 4);
  PutLe(image, static_cast<std::uint32_t>(side * 2), 4);
  PutLe(image, 1, 2);
  PutLe(image, static_cast<std::uint32_t>(bits), 2);
  image.append(24, '\0');
  for (int y = side - 1; y >= 0; --y) {
    QByteArray row;
    for (int x = 0; x < side; ++x) {
      const std::uint32_t bgra = colour(x, y);
      PutLe(row, bgra, bits / 8);
    }
    while (row.size() % 4) row.append('\0');
    image.append(row);
  }
  for (int y = side - 1; y >= 0; --y) {
    QByteArray row((side + 31) / 32 * 4, '\0');
    for (int x = 0; x < side; ++x) {
      if (through(x, y)) row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
    }
    image.append(row);
  }
  QByteArray file;
  PutLe(file, 0, 2);
  PutLe(file, 1, 2);
  PutLe(file, 1, 2);
  file.append(static_cast<char>(side));
  file.append(static_cast<char>(side));
  file.append(2, '\0');
  PutLe(file, 1, 2);
  PutLe(file, static_cast<std::uint32_t>(bits), 2);
  PutLe(file, static_cast<std::uint32_t>(image.size()), 4);
  PutLe(file, 22, 4);
  return file + image;
}

bool Border(int x, int y) { return x == 0 || y == 0 || x == 3 || y == 3; }

TEST(ReadIconImages, MaskOrAlpha_TheBackgroundShowsWhereTheFileSays) {
  const auto blue = [](int, int) { return 0xffu; };
  const struct {
    std::string what;
    QByteArray file;
    std::uint32_t corner, middle;  // ARGB
  } cases[] = {
      {"24-bit colours, their mask", IcoFile(4, 24, blue, Border), 0x00000000u, 0xff0000ffu},
      {"32-bit without alpha, its mask", IcoFile(4, 32, blue, Border), 0x00000000u, 0xff0000ffu},
      {"32-bit with alpha, the mask ignored",
       IcoFile(
           4, 32, [](int x, int y) { return Border(x, y) ? 0x400000ffu : 0xff0000ffu; },
           [](int, int) { return true; }),
       0x400000ffu, 0xff0000ffu},
  };
  for (const auto& c : cases) {
    const std::vector<QImage> images = ReadIconImages(c.file);
    ASSERT_EQ(images.size(), 1u) << c.what;
    EXPECT_EQ(images[0].size(), QSize(4, 4)) << c.what;
    for (const QPoint p : {QPoint(0, 0), QPoint(3, 0), QPoint(0, 3), QPoint(3, 3)}) {
      EXPECT_EQ(images[0].pixel(p), c.corner) << c.what;
    }
    EXPECT_EQ(images[0].pixel(1, 2), c.middle) << c.what;
  }
}

TEST(ReadIconImages, DamagedOrForeignFiles_NoImage) {
  const auto blue = [](int, int) { return 0xffu; };
  const QByteArray good = IcoFile(4, 24, blue, Border);
  QByteArray cursor = good;
  cursor[2] = 2;  // a cursor file, not an icon
  QByteArray wide = good;
  wide[22 + 4] = static_cast<char>(0);  // no width
  const struct {
    std::string what;
    QByteArray file;
  } cases[] = {
      {"empty", QByteArray()},
      {"directory only", good.left(6)},
      {"cut in the colours", good.left(22 + 40 + 20)},
      {"cut in the mask", good.left(good.size() - 1)},
      {"a cursor", cursor},
      {"no width", wide},
      {"8-bit, for Qt's reader", IcoFile(4, 8, blue, Border)},
      {"another header, as a PNG image has", IcoFile(4, 24, blue, Border, 0x474e5089)},
  };
  for (const auto& c : cases) EXPECT_TRUE(ReadIconImages(c.file).empty()) << c.what;
  EXPECT_EQ(ReadIconImages(good).size(), 1u);
}

TEST(AppIcon, ShippedIcon_TransparentCornersAndOpaqueScreenAtEveryTraySize) {
  const QIcon icon = LoadAppIcon(QStringLiteral(":/snapwick/snapwick.ico"));
  ASSERT_FALSE(icon.isNull());
  for (const int side : kTrayIconSizes) {
    const QImage image = icon.pixmap(QSize(side, side)).toImage();
    ASSERT_EQ(image.size(), QSize(side, side)) << side;
    const int last = side - 1;
    for (const QPoint p : {QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)}) {
      EXPECT_EQ(qAlpha(image.pixel(p)), 0) << side << " at " << p.x() << "," << p.y();
    }
    // The monitor's screen, a third of the way down the middle.
    EXPECT_EQ(qAlpha(image.pixel(side / 2, side / 3)), 255) << side;
    int clear = 0;
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) clear += qAlpha(image.pixel(x, y)) == 0 ? 1 : 0;
    }
    // About a third of the icon is background (a monitor on its stand).
    EXPECT_GT(clear, side * side / 5) << side;
    EXPECT_LT(clear, side * side / 2) << side;
  }
}

}  // namespace
}  // namespace snapwick::linux
