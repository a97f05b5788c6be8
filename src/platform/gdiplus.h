#pragma once
// The flat GDI+ calls that write a bitmap as a JPEG file, with portable
// copies of the records they take.

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace snapwick {

struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::uint8_t data4[8] = {};
  bool operator==(const Guid&) const = default;
};

struct GdiplusStartupInput {
  std::uint32_t GdiplusVersion = 1;
  void* DebugEventCallback = nullptr;
  std::int32_t SuppressBackgroundThread = 0;
  std::int32_t SuppressExternalCodecs = 0;
};

constexpr std::uint32_t kEncoderParameterValueTypeLong = 4;

struct EncoderParameter {
  Guid guid;
  std::uint32_t numberOfValues = 0;
  std::uint32_t type = 0;
  const void* value = nullptr;
};

struct EncoderParameters {
  std::uint32_t count = 0;
  EncoderParameter parameter[1];
};

// A GDI+ status; 0 is Ok.
using GpStatus = std::int32_t;

class GdiplusApi {
 public:
  virtual ~GdiplusApi() = default;

  virtual GpStatus GdiplusStartup(std::uintptr_t* token,
                                  const GdiplusStartupInput& input) = 0;
  virtual GpStatus GdipCreateBitmapFromHBITMAP(Handle hbitmap, Handle palette,
                                               Handle* bitmap) = 0;
  virtual std::int32_t CLSIDFromString(const std::u16string& text,
                                       Guid* clsid) = 0;
  virtual GpStatus GdipSaveImageToFile(Handle image, const std::u16string& path,
                                       const Guid& encoder,
                                       const EncoderParameters& params) = 0;
  virtual GpStatus GdipDisposeImage(Handle image) = 0;
  virtual void GdiplusShutdown(std::uintptr_t token) = 0;
};

}  // namespace snapwick
