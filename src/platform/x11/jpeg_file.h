#pragma once
// A screen copy written as a JPEG file with the shared encoder.

#include <string_view>

#include "jpeg/jpeg_encoder.h"
#include "platform/screen.h"
#include "platform/x11/strip_jpeg.h"

namespace snapwick::x11 {

// Encodes first and writes the whole file at once afterwards, so that a
// failed encoding makes no file at all. The encoder's status, or
// jpeg::kCannotWriteFile when the file cannot be made or written.
JpegStatus WriteJpegFile(jpeg::JpegEncoder& encoder, const jpeg::BgrxPixels& pixels,
                         std::string_view path, int quality);
// The same, compressed in two strips at once where StripSplit allows, and
// in one strip otherwise or when the strips fail.
JpegStatus WriteJpegFile(jpeg::JpegEncoder& encoder, StripEncoder& strips,
                         const jpeg::BgrxPixels& pixels, std::string_view path, int quality);

}  // namespace snapwick::x11
