// The program's place in the system, the clock, sounds, the browser and the
// ANSI code page.

#include "platform/win32/windows_inc.h"

#include <shellapi.h>

#include "platform/win32/exe_folder_win.h"
#include "platform/win32/text_win.h"
#include "platform/win32/win32_platform.h"

namespace snapwick::win32 {

bool Win32Platform::AnotherInstanceRunning() { return singleInstance_.AnotherRunning(); }

std::optional<std::string> Win32Platform::ProgramFolder() {
  const auto path = ModulePath(nullptr);
  if (!path) return std::nullopt;
  return Narrow(FolderOfPath(*path));
}

std::optional<LocalDateTime> Win32Platform::LocalNow() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  return LocalDateTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

Status Win32Platform::PlaySound(std::string_view path) {
  // No default beep stands in for a missing file.
  return StatusOf(sound_.Play(SystemPath(path)));
}

Status Win32Platform::OpenAddress(std::string_view address) {
  const HINSTANCE result =
      ::ShellExecuteW(nullptr, L"open", Widen(address).c_str(), L"", L"", SW_SHOWNORMAL);
  // Values above 32 mean success.
  return StatusOf(reinterpret_cast<INT_PTR>(result) > 32);
}

std::optional<std::string> Win32Platform::ToAnsi(std::string_view utf8) {
  return WideToAnsi(Widen(utf8));
}

std::string Win32Platform::FromAnsi(std::string_view ansi) { return Narrow(AnsiToWide(ansi)); }

}  // namespace snapwick::win32
