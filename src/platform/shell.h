#pragma once
// The notification area, the shell, sounds, message boxes and the
// program's own place in the system.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace snapwick {

enum class TrayOp : std::uint8_t { Add = 0, Delete = 2 };

// The private window message that carries the tray icon's mouse events;
// its lParam holds the mouse message number. WM_APP + 1.
constexpr std::uint32_t kTrayCallbackMessage = 0x8000 + 1;

// The tray icon record as the program keeps it. The tip is ANSI text of
// exactly kTipLength characters, space-filled, without a terminator.
struct TrayData {
  static constexpr int kTipLength = 20;
  std::uint32_t cbSize = 0;
  Handle hWnd = 0;
  std::uint32_t uID = 0;
  std::uint32_t uFlags = 0;
  std::uint32_t uCallbackMessage = 0;
  Handle hIcon = 0;
  std::string szTip;  // empty until filled

  bool operator==(const TrayData&) const = default;
};

class ShellApi {
 public:
  virtual ~ShellApi() = default;

  virtual Status NotifyIcon(TrayOp op, const TrayData& data) = 0;
  virtual Status SetForegroundWindow(Handle window) = 0;
  virtual Status ShellOpen(std::string_view address) = 0;
  // Starts playing a WAV file and returns at once.
  virtual Status PlaySoundAsync(std::string_view path) = 0;
  // An information message with a single OK button; returns when closed.
  virtual Status MessageBoxInfo(std::string_view text,
                                std::string_view title) = 0;

  // Text in the system's ANSI code page, to and from UTF-8.
  virtual std::optional<std::string> ToAnsi(std::string_view utf8) = 0;
  virtual std::string FromAnsi(std::string_view ansi) = 0;

  virtual bool PreviousInstanceRunning() = 0;
  // The folder of the program's executable, UTF-8, as the system gives it.
  virtual std::optional<std::string> ExeFolder() = 0;
  virtual Handle ModuleInstance() = 0;
  virtual std::uint32_t CurrentThreadId() = 0;
};

}  // namespace snapwick
