// The screen, the keyboard state and the local clock.

#include "platform/win32/win32_platform.h"

namespace snapwick::win32 {

int Win32Platform::GetSystemMetrics(int index) { return ::GetSystemMetrics(index); }

Handle Win32Platform::GetScreenDC() { return FromWin(::GetDC(nullptr)); }

Status Win32Platform::ReleaseScreenDC(Handle dc) {
  return ::ReleaseDC(nullptr, ToWin<HDC>(dc)) == 1 ? Status::Ok : Status::Failed;
}

Status Win32Platform::BitBlt(Handle dest, int x, int y, int width, int height, Handle source,
                             int sx, int sy, std::uint32_t rop) {
  return ::BitBlt(ToWin<HDC>(dest), x, y, width, height, ToWin<HDC>(source), sx, sy, rop)
             ? Status::Ok
             : Status::Failed;
}

std::int16_t Win32Platform::GetAsyncKeyState(int virtualKey) {
  return static_cast<std::int16_t>(::GetAsyncKeyState(virtualKey));
}

std::optional<LocalDateTime> Win32Platform::LocalNow() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  return LocalDateTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

}  // namespace snapwick::win32
