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

}  // namespace snapwick::x11
