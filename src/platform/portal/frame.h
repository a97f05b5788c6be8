#pragma once
// A picture of the screen as the portals hand it over: the same shape as
// the frame the portable core encodes, so that the platform adapter passes
// it on field by field.

#include <cstdint>

namespace snapwick::portal {

// A pixel's four bytes in memory order; X is padding or alpha, never read.
enum class PixelLayout : std::uint8_t { Bgrx, Rgbx, Xrgb, Xbgr };

struct Frame {
  const std::uint8_t* pixels = nullptr;  // owned by the source until its next grab
  int width = 0;
  int height = 0;
  int stride = 0;  // bytes from one row to the next
  PixelLayout layout = PixelLayout::Bgrx;
  bool bottomUp = false;
};

}  // namespace snapwick::portal
