#pragma once
// The real platform on Linux: Qt's widgets and tray icon for the window,
// the program's own X connection for the screen copy and the key state,
// POSIX for the files, the sound server for the sounds.

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>

#include "jpeg/jpeg_encoder.h"
#include "platform/events.h"
#include "platform/platform.h"
#include "platform/linux/key_capture.h"
#include "platform/x11/key_state.h"
#include "platform/linux/main_window.h"
#include "platform/x11/screen_copy.h"
#include "platform/linux/session_end.h"
#include "platform/linux/single_instance.h"
#include "platform/linux/sound_player.h"
#include "platform/x11/strip_jpeg.h"
#include "platform/linux/termination_signals.h"
#include "platform/x11/tick_driver.h"
#include "platform/linux/tray_icon.h"
#include "platform/x11/x_display.h"

namespace snapwick::linux {

// How the shot timer learns that a key went down.
enum class KeyWake : std::uint8_t {
  // The server's raw key events where it has them, a plain poll otherwise.
  OnPress,
  // Always the plain poll, as on a server without those events.
  Poll,
};

class X11Platform final : public Platform {
 public:
  // Needs the QApplication and the program's own open X connection.
  explicit X11Platform(std::unique_ptr<XDisplay> display, KeyWake wake = KeyWake::OnPress);
  ~X11Platform() override;

  // Makes the window hidden with its controls and raises OnStart; false
  // when start-up closed the window.
  bool Create(WindowEvents& events);
  // Centred, in front, the focus on the first control of the tab order.
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
  Status StartKeyCapture() override;
  Status StopKeyCapture() override;
  bool IsKeyDown(int virtualKey) override;
  // ScreenApi
  std::optional<ScreenImage> GrabScreen() override;
  JpegStatus WriteJpeg(const ScreenImage& image, std::string_view path,
                       std::uint8_t quality) override;
  // FilesApi
  std::optional<std::int64_t> FileLength(std::string_view path) override;
  bool Exists(std::string_view path) override;
  Status CreateFolder(std::string_view path) override;
  Status DeleteFile(std::string_view path) override;
  Status ReplaceFile(std::string_view from, std::string_view to) override;
  std::optional<std::size_t> ReadFile(std::string_view path, std::span<std::uint8_t> into) override;
  Status WriteFile(std::string_view path, std::span<const std::uint8_t> bytes) override;
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
  void Tick();
  void Apply(TimerChange change);

  std::unique_ptr<XDisplay> display_;
  KeyState keys_;
  ScreenCopier screen_;
  jpeg::JpegEncoder encoder_;
  // Only where a second core can take the other strip.
  std::unique_ptr<StripEncoder> strips_;
  SoundPlayer sound_;
  SingleInstance instance_;
  TerminationSignals signals_;
  TickDriver driver_;
  bool tickQueued_ = false;

  WindowEvents* events_ = nullptr;
  bool closed_ = false;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<TrayIcon> tray_;
  std::unique_ptr<TrayMenu> trayMenu_;
  std::unique_ptr<KeyCapture> keyCapture_;
  std::unique_ptr<SessionEnd> sessionEnd_;
  QObject context_;  // the owner of queued calls and notifiers
  QTimer tick_;
  std::unique_ptr<QSocketNotifier> signalNotifier_;
  std::unique_ptr<QSocketNotifier> displayNotifier_;
};

}  // namespace snapwick::linux
