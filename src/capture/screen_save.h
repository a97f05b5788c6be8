#pragma once
// Screen_Save: writes a bitmap as a JPEG file through GDI+.

#include <cstdint>
#include <string_view>

#include "capture/error.h"
#include "platform/types.h"

namespace snapwick {

class Platform;

constexpr int kSaveErrorNumber = 5;
constexpr std::string_view kSaveErrorText = "Cannot save the image. GDI+ Error:";
// The system's built-in JPEG encoder.
constexpr std::u16string_view kJpegEncoderClsid = u"{557CF401-1A04-11D3-9A73-0000F81EF32E}";

// Writes `picture` (a bitmap handle) to `path` at `quality`, handed to the
// encoder unchanged. Starts and shuts down GDI+ within the call. On failure
// returns error 5 with the deciding GDI+ status, and leaves no partial file
// where there was none before.
Failure SaveJpeg(Platform& p, Handle picture, std::string_view path, std::uint8_t quality);

}  // namespace snapwick
