#include "platform/wayland/output_transform.h"

#include <cstddef>
#include <cstring>
#include <utility>

namespace snapwick::wayland {
namespace {

// Where the upright picture's pixel (x, y) lies in the buffer's picture of
// width w and height h. The output shows its buffer mirrored left to right
// (transforms 4 to 7) and turned by transform & 3 quarters, clockwise as
// it lies in memory: sway's `transform 90` is WL_OUTPUT_TRANSFORM_270, and
// its buffer holds the picture turned a quarter clockwise.
std::pair<int, int> SourceOf(int x, int y, std::uint32_t transform, int w, int h) {
  if (transform & 4U) x = ((transform & 1U) ? h : w) - 1 - x;
  switch (transform & 3U) {
    case 1:
      return {y, h - 1 - x};
    case 2:
      return {w - 1 - x, h - 1 - y};
    case 3:
      return {w - 1 - y, x};
    default:
      return {x, y};
  }
}

}  // namespace

Frame Upright(const Frame& buffer, std::uint32_t transform, std::vector<std::uint8_t>& upright) {
  if (transform == 0 || transform > 7 || buffer.width <= 0 || buffer.height <= 0) return buffer;
  const bool sideways = transform & 1U;
  const int width = sideways ? buffer.height : buffer.width;
  const int height = sideways ? buffer.width : buffer.height;
  upright.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
  // The buffer's picture row by row from the top, whichever way its rows
  // lie in memory.
  const auto at = [&buffer](std::pair<int, int> pixel) {
    const int row = buffer.bottomUp ? buffer.height - 1 - pixel.second : pixel.second;
    return static_cast<std::ptrdiff_t>(row) * buffer.stride +
           static_cast<std::ptrdiff_t>(pixel.first) * 4;
  };
  std::uint8_t* out = upright.data();
  for (int y = 0; y < height; ++y) {
    // Along an upright row the buffer's pixels lie a fixed distance apart.
    const std::ptrdiff_t first = at(SourceOf(0, y, transform, buffer.width, buffer.height));
    const std::ptrdiff_t step =
        width > 1 ? at(SourceOf(1, y, transform, buffer.width, buffer.height)) - first : 0;
    const std::uint8_t* in = buffer.pixels + first;
    for (int x = 0; x < width; ++x, in += step, out += 4) std::memcpy(out, in, 4);
  }
  return Frame{upright.data(), width, height, width * 4, buffer.layout, false};
}

}  // namespace snapwick::wayland
