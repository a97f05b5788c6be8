// The flat GDI+ calls, with the program's records copied field by field
// into the real ones.

#include "platform/win32/windows_inc.h"

#include <objidl.h>

#include <gdiplus.h>

#include "platform/win32/win32_platform.h"

namespace snapwick::win32 {
namespace {

CLSID ToClsid(const Guid& g) {
  CLSID c{};
  c.Data1 = g.data1;
  c.Data2 = g.data2;
  c.Data3 = g.data3;
  for (int i = 0; i < 8; ++i) c.Data4[i] = g.data4[i];
  return c;
}

Guid FromClsid(const CLSID& c) {
  Guid g;
  g.data1 = c.Data1;
  g.data2 = c.Data2;
  g.data3 = c.Data3;
  for (int i = 0; i < 8; ++i) g.data4[i] = c.Data4[i];
  return g;
}

// UTF-16 both; wchar_t is 16 bits on Windows.
std::wstring ToWide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

GpStatus Win32Platform::GdiplusStartup(std::uintptr_t* token, const GdiplusStartupInput& input) {
  if (!token) return Gdiplus::InvalidParameter;
  Gdiplus::GdiplusStartupInput real;
  real.GdiplusVersion = input.GdiplusVersion;
  // The program never passes a callback; a function pointer travels in the
  // portable record as void*.
  real.DebugEventCallback = reinterpret_cast<Gdiplus::DebugEventProc>(
      reinterpret_cast<std::uintptr_t>(input.DebugEventCallback));
  real.SuppressBackgroundThread = input.SuppressBackgroundThread != 0;
  real.SuppressExternalCodecs = input.SuppressExternalCodecs != 0;
  ULONG_PTR realToken = 0;
  const Gdiplus::Status status = Gdiplus::GdiplusStartup(&realToken, &real, nullptr);
  *token = realToken;
  return static_cast<GpStatus>(status);
}

GpStatus Win32Platform::GdipCreateBitmapFromHBITMAP(Handle hbitmap, Handle palette,
                                                    Handle* bitmap) {
  if (!bitmap) return Gdiplus::InvalidParameter;
  Gdiplus::GpBitmap* made = nullptr;
  const Gdiplus::Status status = Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(
      ToWin<HBITMAP>(hbitmap), ToWin<HPALETTE>(palette), &made);
  *bitmap = FromWin(made);
  return static_cast<GpStatus>(status);
}

std::int32_t Win32Platform::CLSIDFromString(const std::u16string& text, Guid* clsid) {
  CLSID real{};
  const std::wstring wide = ToWide(text);
  const HRESULT result = ::CLSIDFromString(wide.c_str(), &real);
  if (clsid) *clsid = FromClsid(real);
  return static_cast<std::int32_t>(result);
}

GpStatus Win32Platform::GdipSaveImageToFile(Handle image, const std::u16string& path,
                                            const Guid& encoder, const EncoderParameters& params) {
  // The program's record has room for one parameter; a larger count would
  // make GDI+ read past it.
  if (params.count > 1) return Gdiplus::InvalidParameter;
  Gdiplus::EncoderParameters real{};
  real.Count = params.count;
  real.Parameter[0].Guid = ToClsid(params.parameter[0].guid);
  real.Parameter[0].NumberOfValues = params.parameter[0].numberOfValues;
  real.Parameter[0].Type = params.parameter[0].type;
  real.Parameter[0].Value = const_cast<void*>(params.parameter[0].value);
  const CLSID realEncoder = ToClsid(encoder);
  const std::wstring file = ToWide(path);
  return static_cast<GpStatus>(Gdiplus::DllExports::GdipSaveImageToFile(
      ToWin<Gdiplus::GpImage*>(image), file.c_str(), &realEncoder, &real));
}

GpStatus Win32Platform::GdipDisposeImage(Handle image) {
  return static_cast<GpStatus>(
      Gdiplus::DllExports::GdipDisposeImage(ToWin<Gdiplus::GpImage*>(image)));
}

void Win32Platform::GdiplusShutdown(std::uintptr_t token) { Gdiplus::GdiplusShutdown(token); }

}  // namespace snapwick::win32
