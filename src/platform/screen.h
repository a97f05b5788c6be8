#pragma once
// Copying the primary screen and writing the copy as a JPEG file.

#include <cstdint>
#include <optional>
#include <string_view>

namespace snapwick {

// A copy of the primary screen, held by the platform until the next grab.
struct ScreenImage {
  std::uintptr_t id = 0;  // the platform's own
  int width = 0;          // pixels
  int height = 0;
};

// 0: the file was written. Anything else is the encoder's status number:
// 2 an invalid argument, 3 out of memory, 7 the file could not be written,
// 1 any other failure.
using JpegStatus = std::int32_t;

class ScreenApi {
 public:
  virtual ~ScreenApi() = default;

  // Copies the whole primary screen, measured afresh, so that a change of
  // resolution is taken up. Nothing when no copy could be made: no screen
  // to copy from, a screen of no size, or a copy that failed.
  virtual std::optional<ScreenImage> GrabScreen() = 0;
  // Writes the image as a JPEG file at `quality`, handed to the encoder
  // unchanged. A failed write may leave a partial file behind.
  virtual JpegStatus WriteJpeg(const ScreenImage& image, std::string_view path,
                               std::uint8_t quality) = 0;
};

}  // namespace snapwick
