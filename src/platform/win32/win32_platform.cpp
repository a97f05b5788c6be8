// The window, tray, keyboard and screen operations of the platform.

#include "platform/win32/win32_platform.h"

#include "platform/win32/text_win.h"

namespace snapwick::win32 {

Win32Platform::Win32Platform(HINSTANCE instance, SystemCalls calls)
    : calls_(calls),
      window_(instance, calls_.keys, calls_.timer),
      hook_([this](int virtualKey, std::string_view name) {
        window_.RaiseKeyReleased(virtualKey, name);
      }),
      grabber_(calls_.screen),
      singleInstance_(kInstanceMutexName) {}

// --- WindowApi ---

Status Win32Platform::SetTitle(std::string_view text) {
  HWND window = window_.Hwnd();
  return StatusOf(window && ::SetWindowTextW(window, Widen(text).c_str()));
}

std::optional<bool> Win32Platform::IsWindowShown() {
  HWND window = window_.Hwnd();
  if (!window) return std::nullopt;
  // A minimised window is still visible.
  return ::IsWindowVisible(window) != FALSE;
}

Status Win32Platform::ShowWindow() {
  HWND window = window_.Hwnd();
  if (!window) return Status::Failed;
  ::ShowWindow(window, SW_SHOW);
  if (::IsIconic(window) || ::IsZoomed(window)) ::ShowWindow(window, SW_RESTORE);
  ::SetForegroundWindow(window);
  return Status::Ok;
}

Status Win32Platform::HideWindow() {
  HWND window = window_.Hwnd();
  if (!window) return Status::Failed;
  // With no tray icon to bring it back from, a hidden window would leave a
  // program that no one can reach: it goes to the task bar instead.
  ::ShowWindow(window, tray_.Shown() ? SW_HIDE : SW_MINIMIZE);
  return Status::Ok;
}

Status Win32Platform::CloseWindow() { return window_.CloseFromProgram(); }

Status Win32Platform::PopUpTrayMenu() { return window_.PopUpTrayMenu(); }

Status Win32Platform::ShowMessage(std::string_view text, std::string_view title) {
  window_.EnterModalLoop();
  const int answer = ::MessageBoxW(window_.Hwnd(), Widen(text).c_str(), Widen(title).c_str(),
                                   MB_OK | MB_ICONINFORMATION);
  window_.ExitModalLoop();
  return StatusOf(answer != 0);
}

Status Win32Platform::SetText(ControlId control, std::string_view text) {
  return window_.SetControlText(control, text);
}

std::optional<std::string> Win32Platform::GetText(ControlId control) {
  HWND window = window_.ControlWindow(control);
  if (!window) return std::nullopt;
  return WindowText(window);
}

Status Win32Platform::AddQualityItem(int position, std::string_view text) {
  HWND combo = window_.ControlWindow(ControlId::QualityCombo);
  if (!combo || position < 0) return Status::Failed;
  const std::wstring item = Widen(text);
  const LRESULT at = ::SendMessageW(combo, CB_INSERTSTRING, static_cast<WPARAM>(position),
                                    reinterpret_cast<LPARAM>(item.c_str()));
  return StatusOf(at == position);
}

std::optional<bool> Win32Platform::IsSoundChecked() {
  HWND check = window_.ControlWindow(ControlId::SoundCheck);
  if (!check) return std::nullopt;
  return ::SendMessageW(check, BM_GETCHECK, 0, 0) != BST_UNCHECKED;
}

Status Win32Platform::SetSoundChecked(bool checked) {
  HWND check = window_.ControlWindow(ControlId::SoundCheck);
  if (!check) return Status::Failed;
  ::SendMessageW(check, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  return Status::Ok;
}

// --- TrayApi ---

Status Win32Platform::AddTrayIcon(std::string_view tip) {
  HWND window = window_.Hwnd();
  if (!window) return Status::Failed;
  return tray_.Add(window, window_.TrayIcon(), WideToAnsi(Widen(tip)).value_or(std::string()));
}

Status Win32Platform::RemoveTrayIcon() { return tray_.Remove(); }

// --- KeyboardApi ---

HotkeyWatch Win32Platform::WatchHotkey(int virtualKey) { return window_.WatchHotkey(virtualKey); }

Status Win32Platform::SetKeyCapture(bool on) {
  if (on) return hook_.Start();
  // Off when it was never on is what was asked.
  return hook_.Active() ? hook_.Stop() : Status::Ok;
}

// --- TimerApi ---

Status Win32Platform::SetTicking(bool on) { return window_.SetTicking(on); }

// --- ScreenApi ---

ScreenGrab Win32Platform::GrabScreen() { return GrabbedNow(grabber_.Grab()); }

// The screen is copied when asked, with nothing to prepare.
Status Win32Platform::SetScreenWanted(bool) { return Status::Ok; }

}  // namespace snapwick::win32
