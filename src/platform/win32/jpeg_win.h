#pragma once
// Writing a screen copy as a JPEG file: libjpeg-turbo compresses it in
// memory, and the whole file goes to the disk in one write.

#include "platform/win32/windows_inc.h"

#include <cstdint>
#include <string>

#include "jpeg/jpeg_encoder.h"
#include "platform/screen.h"

namespace snapwick::win32 {

// One for the whole run, so that the compressor and its output buffer are
// made once, not for every shot.
class JpegFileWriter {
 public:
  // Writes `pixels` to `path` (the system's form of it), replacing a file
  // that is there, at `quality`. 0, or the encoder's status; 7 when the
  // file could not be made or written whole, which may leave part of it.
  JpegStatus Write(const jpeg::BgrxPixels& pixels, const std::wstring& path, std::uint8_t quality);

 private:
  jpeg::JpegEncoder encoder_;
};

}  // namespace snapwick::win32
