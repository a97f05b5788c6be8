#include "bare_probe.h"

#include <objidl.h>

#include <gdiplus.h>

#include "bench_stats.h"

namespace snapwick::bench {
namespace {

// The system's built-in JPEG encoder and the quality parameter.
constexpr CLSID kJpegEncoder{0x557CF401, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr GUID kEncoderQuality{0x1D5BE4B5, 0xFA4A, 0x452D, {0x9C, 0xDD, 0x5D, 0xB3, 0x51, 0x05, 0xE7, 0xEB}};

class GdiplusSession {
 public:
  GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    status_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr);
  }
  ~GdiplusSession() {
    if (status_ == Gdiplus::Ok) Gdiplus::GdiplusShutdown(token_);
  }
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  Gdiplus::Status status() const { return status_; }

 private:
  ULONG_PTR token_ = 0;
  Gdiplus::Status status_ = Gdiplus::GenericError;
};

class GpBitmapOf {
 public:
  explicit GpBitmapOf(HBITMAP source) {
    status_ = Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(source, nullptr, &bitmap_);
  }
  ~GpBitmapOf() {
    if (bitmap_) Gdiplus::DllExports::GdipDisposeImage(bitmap_);
  }
  GpBitmapOf(const GpBitmapOf&) = delete;
  GpBitmapOf& operator=(const GpBitmapOf&) = delete;
  Gdiplus::Status status() const { return status_; }
  Gdiplus::GpBitmap* get() const { return bitmap_; }

 private:
  Gdiplus::GpBitmap* bitmap_ = nullptr;
  Gdiplus::Status status_ = Gdiplus::GenericError;
};

Gdiplus::Status SaveAsJpeg(HBITMAP source, const std::wstring& path) {
  GdiplusSession session;
  if (session.status() != Gdiplus::Ok) return session.status();
  GpBitmapOf bitmap(source);
  if (bitmap.status() != Gdiplus::Ok) return bitmap.status();
  ULONG quality = 80;
  Gdiplus::EncoderParameters params{};
  params.Count = 1;
  params.Parameter[0].Guid = kEncoderQuality;
  params.Parameter[0].NumberOfValues = 1;
  params.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
  params.Parameter[0].Value = &quality;
  return Gdiplus::DllExports::GdipSaveImageToFile(bitmap.get(), path.c_str(), &kJpegEncoder,
                                                  &params);
}

}  // namespace

BareProbe::BareProbe()
    : width_(::GetSystemMetrics(SM_CXSCREEN)), height_(::GetSystemMetrics(SM_CYSCREEN)) {
  win32::WindowDC screen(nullptr);
  if (!screen.get()) return;
  dc_.reset(::CreateCompatibleDC(screen.get()));
  bitmap_.reset(::CreateCompatibleBitmap(screen.get(), width_, height_));
}

ProbeTimes BareProbe::Shot(const std::wstring& path) {
  ProbeTimes t;
  const Stopwatch shot;
  const Stopwatch copy;
  {
    win32::WindowDC screen(nullptr);
    // Selected only for the copy: GDI+ is not to be handed a bitmap that
    // sits in a device context.
    win32::Selection into(dc_.get(), bitmap_.get());
    ::BitBlt(dc_.get(), 0, 0, width_, height_, screen.get(), 0, 0, SRCCOPY);
  }
  t.copyMs = copy.ElapsedMs();
  const Stopwatch save;
  t.status = SaveAsJpeg(bitmap_.get(), path);
  t.saveMs = save.ElapsedMs();
  t.shotMs = shot.ElapsedMs();
  return t;
}

}  // namespace snapwick::bench
