#include "bare_probe.h"

#include <objidl.h>

#include <gdiplus.h>

#include "bench_stats.h"

namespace snapwick::bench {
namespace {

Gdiplus::Status SaveAsJpeg(HBITMAP source, const std::wstring& path) {
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::Status status = Gdiplus::GdiplusStartup(&token, &input, nullptr);
  if (status != Gdiplus::Ok) return status;
  Gdiplus::GpBitmap* bitmap = nullptr;
  status = Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(source, nullptr, &bitmap);
  if (status == Gdiplus::Ok) {
    CLSID encoder{};
    ::CLSIDFromString(L"{557CF401-1A04-11D3-9A73-0000F81EF32E}", &encoder);
    ULONG quality = 80;
    Gdiplus::EncoderParameters params{};
    params.Count = 1;
    params.Parameter[0].Guid = Gdiplus::EncoderQuality;
    params.Parameter[0].NumberOfValues = 1;
    params.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
    params.Parameter[0].Value = &quality;
    status = Gdiplus::DllExports::GdipSaveImageToFile(bitmap, path.c_str(), &encoder, &params);
    Gdiplus::DllExports::GdipDisposeImage(bitmap);
  }
  Gdiplus::GdiplusShutdown(token);
  return status;
}

}  // namespace

BareProbe::BareProbe() { dc_.Reset(::CreateCompatibleDC(nullptr)); }

BareProbe::~BareProbe() {
  if (original_) ::SelectObject(dc_.Get(), original_);
}

ProbeTimes BareProbe::Shot(const std::wstring& path) {
  ProbeTimes t;
  const Stopwatch shot;
  const Stopwatch copy;
  const int width = ::GetSystemMetrics(SM_CXSCREEN);
  const int height = ::GetSystemMetrics(SM_CYSCREEN);
  HDC screen = ::GetDC(nullptr);
  if (!bitmap_ || width != width_ || height != height_) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    if (original_) ::SelectObject(dc_.Get(), original_);
    bitmap_.Reset(::CreateDIBSection(dc_.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    original_ = ::SelectObject(dc_.Get(), bitmap_.Get());
    width_ = width;
    height_ = height;
  }
  ::BitBlt(dc_.Get(), 0, 0, width, height, screen, 0, 0, SRCCOPY);
  ::ReleaseDC(nullptr, screen);
  t.copyMs = copy.ElapsedMs();
  const Stopwatch save;
  t.status = SaveAsJpeg(bitmap_.Get(), path);
  t.saveMs = save.ElapsedMs();
  t.shotMs = shot.ElapsedMs();
  return t;
}

}  // namespace snapwick::bench
