#include "platform/x11/jpeg_file.h"

#include "platform/x11/files_posix.h"

namespace snapwick::x11 {

JpegStatus WriteJpegFile(jpeg::JpegEncoder& encoder, const jpeg::BgrxPixels& pixels,
                         std::string_view path, int quality) {
  const std::int32_t encoded = encoder.Encode(pixels, quality);
  if (encoded != jpeg::kOk) return encoded;
  // A shot always goes to a name of its own: the program passes over names
  // that are taken, so one that is taken now was taken since, by someone else.
  return Succeeded(WriteFile(path, encoder.Bytes(), true)) ? jpeg::kOk : jpeg::kCannotWriteFile;
}

JpegStatus WriteJpegFile(jpeg::JpegEncoder& encoder, StripEncoder& strips,
                         const jpeg::BgrxPixels& pixels, std::string_view path, int quality) {
  if (!StripSplit(pixels.width, pixels.height) || strips.Encode(pixels, quality) != jpeg::kOk) {
    return WriteJpegFile(encoder, pixels, path, quality);
  }
  const auto parts = strips.Parts();
  return Succeeded(WriteFileParts(path, parts, true)) ? jpeg::kOk : jpeg::kCannotWriteFile;
}

}  // namespace snapwick::x11
