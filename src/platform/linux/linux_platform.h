#pragma once
// The real platform on Linux, in any session: Qt's widgets and tray icon
// for the window, the 50 ms timer, POSIX for the files, the sound server
// for the sounds; the hotkey, the screen and the keys' names come from
// the session's parts (SessionParts).

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>

#include "platform/events.h"
#include "platform/linux/compositor_key_door.h"
#include "platform/linux/key_capture.h"
#include "platform/linux/main_window.h"
#include "platform/linux/session_end.h"
#include "platform/linux/session_parts.h"
#include "platform/linux/single_instance.h"
#include "platform/linux/sound_player.h"
#include "platform/linux/termination_signals.h"
#include "platform/linux/tray_icon.h"
#include "platform/platform.h"

namespace snapwick::linux {

class LinuxPlatform final : public Platform {
 public:
  // Needs the QApplication. `lockKey` names the session for the single
  // instance (the display).
  LinuxPlatform(SessionParts parts, std::string_view lockKey);
  ~LinuxPlatform() override;

  // Makes the window hidden with its controls and raises OnStart; false
  // when start-up closed the window.
  bool Create(WindowEvents& events);
  // Centred, in front, the focus on the first control of the tab order;
  // then the session's notice, if it has one.
  void ShowFirst();
  // Whether the program has let a close go on: the event loop ends.
  bool Closed() const { return closed_; }

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
  char PathSeparator() override { return '/'; }
  std::optional<LocalDateTime> LocalNow() override;
  Status PlaySound(std::string_view path) override;
  Status OpenAddress(std::string_view address) override;
  std::optional<std::string> ToAnsi(std::string_view utf8) override;
  std::string FromAnsi(std::string_view ansi) override;

 private:
  // Returns true when the program goes on; otherwise ends the event loop.
  bool RequestClose(CloseOrigin origin);
  void OnTerminationSignal();
  void OnKey(KeySeen seen);
  void OpenKeyDoor();
  void Tick();
  // What the hotkey source read during the program's work waits for the
  // event loop.
  void DispatchLater();
  // Watches the hotkey source's descriptor, a new one or none once it has
  // changed.
  void FollowHotkeyFd();

  SessionParts parts_;
  SoundPlayer sound_;
  SingleInstance instance_;
  std::string doorPath_;
  // After the lock: the door's file is removed while the lock is still
  // held, so that no copy starting meanwhile finds it and takes it for a
  // killed copy's.
  std::unique_ptr<CompositorKeyDoor> door_;
  TerminationSignals signals_;

  WindowEvents* events_ = nullptr;
  bool closed_ = false;
  bool dispatchQueued_ = false;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<TrayIcon> tray_;
  std::unique_ptr<TrayMenu> trayMenu_;
  std::unique_ptr<KeyCapture> keyCapture_;
  std::unique_ptr<SessionEnd> sessionEnd_;
  QObject context_;  // the owner of queued calls and notifiers
  QTimer tick_;
  std::unique_ptr<QSocketNotifier> signalNotifier_;
  std::unique_ptr<QSocketNotifier> hotkeyNotifier_;
};

}  // namespace snapwick::linux
