#pragma once
// The JPEG writer's contract: the quality handed on unchanged, and on
// failure error 5 whose description carries the encoder's status.

#include <cstdint>
#include <string_view>

#include "capture/error.h"
#include "platform/screen.h"

namespace snapwick {

class Platform;

constexpr int kSaveErrorNumber = 5;
constexpr std::string_view kSaveErrorText = "Cannot save the image. GDI+ Error:";

// Writes `image` to `path` as JPEG at `quality`. On failure returns error 5
// with the status right behind the colon, and leaves no partial file where
// there was none before.
Failure SaveJpeg(Platform& p, const ScreenImage& image, std::string_view path,
                 std::uint8_t quality);

}  // namespace snapwick
