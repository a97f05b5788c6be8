#include "gdiplus_probe.h"

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

ProbeTimes GdiplusProbe::Shot(const std::wstring& path) {
  ProbeTimes t;
  const Stopwatch shot;
  const Stopwatch copy;
  if (!copy_.Copy()) {
    t.status = -1;
    return t;
  }
  t.copyMs = copy.ElapsedMs();
  const Stopwatch save;
  t.status = SaveAsJpeg(copy_.Bitmap(), path);
  t.saveMs = save.ElapsedMs();
  t.shotMs = shot.ElapsedMs();
  return t;
}

}  // namespace snapwick::bench
