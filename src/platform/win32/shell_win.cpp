// The notification area, the shell, sounds, the message box, the ANSI code
// page and the program's own place in the system.

#include "platform/win32/windows_inc.h"

#include <mmsystem.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/exe_folder_win.h"
#include "platform/win32/text_win.h"
#include "platform/win32/win32_platform.h"

namespace snapwick::win32 {

Status Win32Platform::NotifyIcon(TrayOp op, const TrayData& data) {
  // The program keeps the tip as ANSI text, so the record is the A one;
  // its own size goes into cbSize, whatever the program's form says.
  NOTIFYICONDATAA record{};
  record.cbSize = sizeof(record);
  record.hWnd = ToWin<HWND>(data.hWnd);
  record.uID = data.uID;
  record.uFlags = data.uFlags;
  record.uCallbackMessage = data.uCallbackMessage;
  record.hIcon = ToWin<HICON>(data.hIcon);
  const std::size_t tip = std::min<std::size_t>(data.szTip.size(), TrayData::kTipLength);
  std::memcpy(record.szTip, data.szTip.data(), tip);
  record.szTip[tip] = '\0';
  return ::Shell_NotifyIconA(static_cast<DWORD>(op), &record) ? Status::Ok : Status::Failed;
}

Status Win32Platform::SetForegroundWindow(Handle window) {
  return ::SetForegroundWindow(ToWin<HWND>(window)) ? Status::Ok : Status::Failed;
}

Status Win32Platform::ShellOpen(std::string_view address) {
  const HINSTANCE result =
      ::ShellExecuteW(nullptr, L"open", Widen(address).c_str(), L"", L"", SW_SHOWNORMAL);
  // Values above 32 mean success.
  return reinterpret_cast<INT_PTR>(result) > 32 ? Status::Ok : Status::Failed;
}

Status Win32Platform::PlaySoundAsync(std::string_view path) {
  // No default beep stands in for a missing file.
  return sound_.Play(Widen(path)) ? Status::Ok : Status::Failed;
}

Status Win32Platform::MessageBoxInfo(std::string_view text, std::string_view title) {
  const int answer = ::MessageBoxW(window_.Hwnd(), Widen(text).c_str(), Widen(title).c_str(),
                                   MB_OK | MB_ICONINFORMATION);
  return answer != 0 ? Status::Ok : Status::Failed;
}

std::optional<std::string> Win32Platform::ToAnsi(std::string_view utf8) {
  return WideToAnsi(Widen(utf8));
}

std::string Win32Platform::FromAnsi(std::string_view ansi) { return Narrow(AnsiToWide(ansi)); }

bool Win32Platform::PreviousInstanceRunning() { return singleInstance_.AnotherRunning(); }

std::optional<std::string> Win32Platform::ExeFolder() {
  const auto path = ModulePath(nullptr);
  if (!path) return std::nullopt;
  return Narrow(FolderOfPath(*path));
}

Handle Win32Platform::ModuleInstance() { return FromWin(instance_); }

std::uint32_t Win32Platform::CurrentThreadId() { return ::GetCurrentThreadId(); }

}  // namespace snapwick::win32
