#pragma once
// The real platform: everything the program asks of the system, on Win32.
// Texts are UTF-8 in the interface and UTF-16 at the system, except where
// the program keeps the ANSI code page (key names, the tray tip).

#include "platform/win32/windows_inc.h"

#include <optional>
#include <string>

#include "platform/events.h"
#include "platform/platform.h"
#include "platform/win32/files_win.h"
#include "platform/win32/hotkey_win.h"
#include "platform/win32/keyboard_win.h"
#include "platform/win32/screen_win.h"
#include "platform/win32/single_instance_win.h"
#include "platform/win32/sound_win.h"
#include "platform/win32/tick_win.h"
#include "platform/win32/tray_win.h"
#include "platform/win32/window_win.h"

namespace snapwick::win32 {

// The system calls that tests replace, to make the screen, the keyboard's
// raw input, the high-resolution timer or the attributes of new files fail
// or behave as they need.
struct SystemCalls {
  ScreenCalls screen;
  KeyCalls keys;
  TimerCalls timer;
  FileCalls files;
};

class Win32Platform final : public Platform {
 public:
  explicit Win32Platform(HINSTANCE instance, SystemCalls calls = {});

  // Creates the main window and raises OnStart; false when OnStart closed
  // it.
  bool CreateMainWindow(WindowEvents& events) { return window_.Create(events); }
  void ShowMainWindow() { window_.ShowFirst(); }
  int RunMessageLoop() { return window_.RunMessageLoop(); }
  MainWindow& Window() { return window_; }
  ScreenGrabber& Grabber() { return grabber_; }
  // Times a few copies of the screen each way while the window is idle,
  // and copies the faster way from then on.
  void ChooseCopyModeWhenIdle() {
    window_.RunWhenIdle([this] { return grabber_.ChooseModeStep(kCopyModeRounds); });
  }
  // Whether shots are flushed to the disk before they take their name.
  void SetShotDurability(Durability durability) { shotDurability_ = durability; }

  // WindowApi
  Status SetTitle(std::string_view text) override;
  std::optional<bool> IsWindowShown() override;
  Status ShowWindow() override;
  Status HideWindow() override;
  Status CloseWindow() override;
  Status PopUpTrayMenu() override;
  Status ShowMessage(std::string_view text, std::string_view title) override;
  Status SetText(ControlId control, std::string_view text) override;
  std::optional<std::string> GetText(ControlId control) override;
  Status AddQualityItem(int position, std::string_view text) override;
  std::optional<bool> IsSoundChecked() override;
  Status SetSoundChecked(bool checked) override;

  // TrayApi
  Status AddTrayIcon(std::string_view tip) override;
  Status RemoveTrayIcon() override;

  // KeyboardApi
  HotkeyWatch WatchHotkey(int virtualKey) override;
  Status SetKeyCapture(bool on) override;

  // TimerApi
  Status SetTicking(bool on) override;

  // ScreenApi
  ScreenGrab GrabScreen() override;
  Status SetScreenWanted(bool wanted) override;

  // FilesApi
  Status PrepareFolder(std::string_view path) override;
  std::optional<FileHead> ReadFile(std::string_view path, std::span<std::uint8_t> into) override;
  Status WriteFile(std::string_view path, std::span<const std::uint8_t> bytes) override;
  NewFile WriteNewFile(std::string_view path,
                       std::span<const std::span<const std::uint8_t>> parts) override;
  Status ReplaceFile(std::string_view from, std::string_view to) override;
  Status DeleteFile(std::string_view path) override;

  // SystemApi
  bool AnotherInstanceRunning() override;
  std::optional<std::string> ProgramFolder() override;
  char PathSeparator() override { return '\\'; }
  std::optional<LocalDateTime> LocalNow() override;
  Status PlaySound(std::string_view path) override;
  Status OpenAddress(std::string_view address) override;
  std::optional<std::string> ToAnsi(std::string_view utf8) override;
  std::string FromAnsi(std::string_view ansi) override;

 private:
  // Before the window, whose calls it outlives, and COM before anything
  // that might use it (the shell's calls).
  SystemCalls calls_;
  ComApartment com_;
  // Before the others, so that it is the last to go: the icon is removed
  // and the hook ends while the window they report to is still there.
  MainWindow window_;
  TrayIcon tray_;
  KeyboardHook hook_;
  ScreenGrabber grabber_;
  SingleInstance singleInstance_;
  SoundPlayer sound_;
  Durability shotDurability_ = Durability::Cached;
};

}  // namespace snapwick::win32
