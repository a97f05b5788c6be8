#include "platform/win32/dpi_win.h"

#include "platform/win32/scoped_win.h"

namespace snapwick::win32 {
namespace {

// Casting through void* keeps -Wcast-function-type quiet: the type is the
// documented signature of the named export.
template <typename Fn>
Fn User32Export(const char* name) {
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  FARPROC proc = user32 ? ::GetProcAddress(user32, name) : nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

}  // namespace

void EnablePerMonitorDpiAwareness() {
  using Fn = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
  static const auto kSetContext = User32Export<Fn>("SetProcessDpiAwarenessContext");
  if (kSetContext) kSetContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
}

int DpiOf(HWND window) {
  using Fn = UINT(WINAPI*)(HWND);
  static const auto kForWindow = User32Export<Fn>("GetDpiForWindow");
  if (kForWindow && window) {
    if (const UINT dpi = kForWindow(window)) return static_cast<int>(dpi);
  }
  WindowDC dc(window);
  const int dpi = dc.Get() ? ::GetDeviceCaps(dc.Get(), LOGPIXELSY) : 0;
  return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

RECT WindowRectForClient(RECT client, DWORD style, DWORD exStyle, int dpi) {
  using Fn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto kAdjustForDpi = User32Export<Fn>("AdjustWindowRectExForDpi");
  RECT r = client;
  if (!(kAdjustForDpi && kAdjustForDpi(&r, style, FALSE, exStyle, static_cast<UINT>(dpi)))) {
    r = client;
    ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
  }
  return r;
}

}  // namespace snapwick::win32
