#pragma once
// The program's icon in the notification area: the shell's record for it,
// and the mouse messages that come back from it.

#include "platform/win32/windows_inc.h"

#include <shellapi.h>

#include <optional>
#include <string_view>

#include "platform/events.h"
#include "platform/status.h"

namespace snapwick::win32 {

// The private message that carries the icon's mouse events: the mouse
// message's number is in the low word of its lParam.
constexpr UINT kTrayCallbackMessage = WM_APP + 1;
constexpr UINT kTrayIconId = 1;
// The tip's room in characters, without its terminator.
constexpr std::size_t kTrayTipLength = 20;

// The record of the window's icon, with the tip in the ANSI code page cut to
// its room. The A record, because the tip is kept as ANSI text.
NOTIFYICONDATAA TrayRecord(HWND window, HICON icon, std::string_view ansiTip);

// What the user did, from the mouse message the icon reported; nothing for
// the messages the program has no use for.
std::optional<TrayEvent> TrayEventOf(UINT mouseMessage);

class TrayIcon {
 public:
  TrayIcon() = default;
  // An icon left behind would stay in the tray until the pointer passes
  // over it.
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Adding while the shell still shows the icon changes nothing and fails.
  Status Add(HWND window, HICON icon, std::string_view ansiTip);
  // Fails when the shell has no such icon, also when it was never added.
  Status Remove();
  // Whether the shell took the icon and it was not removed since.
  bool Shown() const { return shown_; }

 private:
  std::optional<NOTIFYICONDATAA> record_;  // of the last add
  bool shown_ = false;
};

}  // namespace snapwick::win32
