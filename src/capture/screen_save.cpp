#include "capture/screen_save.h"

#include <string>

#include "platform/platform.h"
#include "platform/utf16.h"

namespace snapwick {
namespace {

// EncoderQuality {1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB}.
constexpr Guid kEncoderQuality{0x1D5BE4B5, 0xFA4A, 0x452D,
                               {0x9C, 0xDD, 0x5D, 0xB3, 0x51, 0x05, 0xE7, 0xEB}};

Error SaveError(GpStatus status) {
  return {kSaveErrorNumber, std::string(kSaveErrorText) + std::to_string(status)};
}

}  // namespace

Failure SaveJpeg(Platform& p, Handle picture, std::string_view path, std::uint8_t quality) {
  const std::string target(path);
  const bool existed = p.FileExists(target);

  std::uintptr_t token = 0;
  GpStatus status = p.GdiplusStartup(&token, GdiplusStartupInput{});
  if (status != 0) return SaveError(status);

  Handle bitmap = 0;
  status = p.GdipCreateBitmapFromHBITMAP(picture, 0, &bitmap);
  if (status == 0) {
    Guid encoder;
    p.CLSIDFromString(std::u16string(kJpegEncoderClsid), &encoder);
    const std::uint32_t value = quality;
    EncoderParameters params{};
    params.count = 1;
    params.parameter[0] = {kEncoderQuality, 1, kEncoderParameterValueTypeLong, &value};
    status = p.GdipSaveImageToFile(bitmap, Utf8ToUtf16(target), encoder, params);
    p.GdipDisposeImage(bitmap);
  }
  p.GdiplusShutdown(token);

  if (status == 0) return std::nullopt;
  // A failed encoder may leave a truncated file behind; a file that was
  // not there before the save is not left there after it.
  if (!existed) p.DeleteFile(target);
  return SaveError(status);
}

}  // namespace snapwick
