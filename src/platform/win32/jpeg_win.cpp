#include "platform/win32/jpeg_win.h"

#include <objidl.h>

#include <gdiplus.h>

namespace snapwick::win32 {
namespace {

constexpr wchar_t kJpegEncoder[] = L"{557CF401-1A04-11D3-9A73-0000F81EF32E}";

int liveSessions = 0;
int liveBitmaps = 0;

// A GDI+ bitmap made from a GDI one, disposed of at the end.
class GdiplusBitmap {
 public:
  explicit GdiplusBitmap(HBITMAP source)
      : status_(Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(source, nullptr, &bitmap_)) {
    if (bitmap_) ++liveBitmaps;
  }
  ~GdiplusBitmap() {
    if (!bitmap_) return;
    Gdiplus::DllExports::GdipDisposeImage(bitmap_);
    --liveBitmaps;
  }
  GdiplusBitmap(const GdiplusBitmap&) = delete;
  GdiplusBitmap& operator=(const GdiplusBitmap&) = delete;
  JpegStatus Result() const { return status_; }
  Gdiplus::GpBitmap* Get() const { return bitmap_; }

 private:
  Gdiplus::GpBitmap* bitmap_ = nullptr;
  JpegStatus status_;
};

}  // namespace

int LiveGdiplusSessions() { return liveSessions; }
int LiveGdiplusBitmaps() { return liveBitmaps; }

GdiplusSession::GdiplusSession(std::uint32_t version) {
  // Default start-up: no debug callback, GDI+'s own background thread.
  Gdiplus::GdiplusStartupInput input;
  input.GdiplusVersion = version;
  status_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr);
  if (status_ == Gdiplus::Ok) ++liveSessions;
}

GdiplusSession::~GdiplusSession() {
  if (status_ != Gdiplus::Ok) return;
  Gdiplus::GdiplusShutdown(token_);
  --liveSessions;
}

JpegStatus WriteJpegFile(HBITMAP bitmap, const std::wstring& path, std::uint8_t quality) {
  const GdiplusSession session;
  if (session.Result() != Gdiplus::Ok) return session.Result();
  JpegStatus status = 0;
  {
    const GdiplusBitmap image(bitmap);
    if (image.Result() != Gdiplus::Ok) return image.Result();
    CLSID encoder{};
    ::CLSIDFromString(kJpegEncoder, &encoder);
    ULONG value = quality;
    Gdiplus::EncoderParameters params{};
    params.Count = 1;
    params.Parameter[0].Guid = Gdiplus::EncoderQuality;
    params.Parameter[0].NumberOfValues = 1;
    params.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
    params.Parameter[0].Value = &value;
    status = Gdiplus::DllExports::GdipSaveImageToFile(image.Get(), path.c_str(), &encoder, &params);
  }
  return status;
}

}  // namespace snapwick::win32
