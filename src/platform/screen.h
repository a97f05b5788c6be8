#pragma once
// The primary screen, as a frame of pixels in memory.

#include <cstdint>
#include <optional>

namespace snapwick {

// The order of a pixel's four bytes in memory; the fourth byte (x) is not
// read.
enum class PixelLayout : std::uint8_t { Bgrx, Rgbx, Xrgb, Xbgr };

// Pixels of the primary screen, four bytes each, held by the platform
// until the next grab.
struct Frame {
  const std::uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;  // bytes from one row to the next in memory
  PixelLayout layout = PixelLayout::Bgrx;
  bool bottomUp = false;  // the first row in memory is the bottom one
};

class ScreenApi {
 public:
  virtual ~ScreenApi() = default;

  // The whole primary screen, measured afresh, so that a change of
  // resolution is taken up. Nothing when no copy could be made: no screen
  // to copy from, a screen of no size, or a copy that failed.
  virtual std::optional<Frame> GrabScreen() = 0;
};

}  // namespace snapwick
