#pragma once
// A screen copy written as a JPEG file with the shared encoder.

#include <string_view>

#include "jpeg/jpeg_encoder.h"
#include "platform/screen.h"

namespace snapwick::x11 {

// Encodes first and writes the whole file at once afterwards, so that a
// failed encoding makes no file at all. The encoder's status, or
// jpeg::kCannotWriteFile when the file cannot be made or written.
JpegStatus WriteJpegFile(jpeg::JpegEncoder& encoder, const jpeg::BgrxPixels& pixels,
                         std::string_view path, int quality);

}  // namespace snapwick::x11
