#include "capture/jpeg_save.h"

#include <string>

#include "platform/platform.h"

namespace snapwick {

Failure SaveJpeg(Platform& p, const ScreenImage& image, std::string_view path,
                 std::uint8_t quality) {
  const bool existed = p.Exists(path);
  const JpegStatus status = p.WriteJpeg(image, path, quality);
  if (status == 0) return std::nullopt;
  // A failed encoder may leave a truncated file behind; a file that was
  // not there before the save is not left there after it.
  if (!existed) p.DeleteFile(path);
  return Error{kSaveErrorNumber, std::string(kSaveErrorText) + std::to_string(status)};
}

}  // namespace snapwick
