#include "platform/linux/app_icon.h"

#include <QFile>
#include <QPixmap>
#include <algorithm>
#include <cstdint>
#include <optional>

namespace snapwick::linux {
namespace {

constexpr std::size_t kDirectorySize = 6;
constexpr std::size_t kEntrySize = 16;
constexpr std::size_t kInfoHeaderSize = 40;
// The icons a tray is drawn from hardly ever pass this; a larger value is
// a damaged file.
constexpr int kLargestSide = 256;

std::uint32_t Le(const QByteArray& bytes, std::size_t at, int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) {
    value = value << 8 | static_cast<std::uint8_t>(bytes[static_cast<qsizetype>(at) + i]);
  }
  return value;
}

// Rows are stored bottom first, each padded to a multiple of four bytes.
std::size_t Stride(int width, int bits) {
  return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32 * 4;
}

std::optional<QImage> ReadImage(const QByteArray& ico, std::size_t offset, std::size_t length) {
  const auto size = static_cast<std::size_t>(ico.size());
  if (offset > size || length > size - offset || length < kInfoHeaderSize) return std::nullopt;
  if (Le(ico, offset, 4) != kInfoHeaderSize) return std::nullopt;  // a PNG, or an old header
  const auto width = static_cast<std::int32_t>(Le(ico, offset + 4, 4));
  // The height counts the colours and the mask.
  const auto height = static_cast<std::int32_t>(Le(ico, offset + 8, 4)) / 2;
  const auto bits = static_cast<int>(Le(ico, offset + 14, 2));
  const std::uint32_t compression = Le(ico, offset + 16, 4);
  if (width <= 0 || height <= 0 || width > kLargestSide || height > kLargestSide) {
    return std::nullopt;
  }
  if ((bits != 24 && bits != 32) || compression != 0) return std::nullopt;

  const std::size_t colours = offset + kInfoHeaderSize;
  const std::size_t colourStride = Stride(width, bits);
  const std::size_t mask = colours + colourStride * static_cast<std::size_t>(height);
  const std::size_t maskStride = Stride(width, 1);
  if (mask + maskStride * static_cast<std::size_t>(height) > offset + length) return std::nullopt;

  QImage image(width, height, QImage::Format_ARGB32);
  bool anyAlpha = false;
  for (int y = 0; y < height; ++y) {
    const std::size_t row = colours + colourStride * static_cast<std::size_t>(height - 1 - y);
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      const std::size_t at = row + static_cast<std::size_t>(x) * static_cast<std::size_t>(bits / 8);
      const int alpha =
          bits == 32 ? static_cast<std::uint8_t>(ico[static_cast<qsizetype>(at) + 3]) : 0;
      anyAlpha = anyAlpha || alpha != 0;
      out[x] = qRgba(static_cast<std::uint8_t>(ico[static_cast<qsizetype>(at) + 2]),
                     static_cast<std::uint8_t>(ico[static_cast<qsizetype>(at) + 1]),
                     static_cast<std::uint8_t>(ico[static_cast<qsizetype>(at)]), alpha);
    }
  }
  // A 32-bit image that carries alpha is drawn by it; any other by its
  // mask, where a set bit lets the background through.
  if (anyAlpha) return image;
  for (int y = 0; y < height; ++y) {
    const std::size_t row = mask + maskStride * static_cast<std::size_t>(height - 1 - y);
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      const auto byte = static_cast<std::uint8_t>(ico[static_cast<qsizetype>(row) + x / 8]);
      const bool through = (byte >> (7 - x % 8) & 1) != 0;
      out[x] = through ? qRgba(0, 0, 0, 0) : (out[x] | 0xff000000u);
    }
  }
  return image;
}

}  // namespace

std::vector<QImage> ReadIconImages(const QByteArray& ico) {
  std::vector<QImage> images;
  if (static_cast<std::size_t>(ico.size()) < kDirectorySize || Le(ico, 0, 2) != 0 ||
      Le(ico, 2, 2) != 1) {
    return images;
  }
  const std::uint32_t count = Le(ico, 4, 2);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t entry = kDirectorySize + i * kEntrySize;
    if (entry + kEntrySize > static_cast<std::size_t>(ico.size())) break;
    if (auto image = ReadImage(ico, Le(ico, entry + 12, 4), Le(ico, entry + 8, 4))) {
      images.push_back(std::move(*image));
    }
  }
  return images;
}

QIcon IconAtTraySizes(const std::vector<QImage>& images) {
  QIcon icon;
  const auto largest = std::max_element(
      images.begin(), images.end(),
      [](const auto& a, const auto& b) { return a.width() * a.height() < b.width() * b.height(); });
  if (largest == images.end()) return icon;
  // Premultiplied, so that smoothing never pulls the transparent area's
  // colour (black) into the edge.
  const QImage source = largest->convertToFormat(QImage::Format_ARGB32_Premultiplied);
  for (const int side : kTrayIconSizes) {
    // Whole multiples keep the pixels sharp; other sizes are smoothed.
    const bool whole = side % source.width() == 0 && side % source.height() == 0;
    icon.addPixmap(QPixmap::fromImage(
        source.scaled(side, side, Qt::IgnoreAspectRatio,
                      whole ? Qt::FastTransformation : Qt::SmoothTransformation)));
  }
  return icon;
}

QIcon LoadAppIcon(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QIcon(path);
  const std::vector<QImage> images = ReadIconImages(file.readAll());
  return images.empty() ? QIcon(path) : IconAtTraySizes(images);
}

}  // namespace snapwick::linux
