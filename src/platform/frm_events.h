#pragma once
// The events the platform raises on the main window, all on the one
// user-interface thread.

#include <cstdint>

#include "platform/types.h"

namespace snapwick {

// Who asked the window to close. Only the user's own close command on the
// window (close box, window menu, Alt+F4) is 0.
enum class CloseOrigin : int {
  User = 0,
  Program = 1,   // the program's own close from code
  Session = 2,   // Windows shutting down or the user logging off
  Task = 3,      // another program, such as the task manager
};

class FrmEvents {
 public:
  virtual ~FrmEvents() = default;

  virtual void OnLoad() = 0;
  // Returns true to cancel the close.
  virtual bool OnCloseRequest(CloseOrigin origin) = 0;
  virtual void OnUnload() = 0;
  virtual void OnTimer() = 0;
  // A mouse event on the tray icon; `mouseCode` is the mouse message number.
  virtual void OnTrayCallback(int mouseCode) = 0;
  // The shell has restarted and lost every tray icon.
  virtual void OnTaskbarCreated() = 0;
  virtual void OnClick(ControlId id) = 0;
  virtual void OnMenuClick(MenuItemId id) = 0;
  virtual void OnComboClick() = 0;
  virtual void OnComboChange() = 0;
  virtual std::intptr_t OnKeyboardHook(int code, std::intptr_t wParam,
                                       std::intptr_t lParam) = 0;
};

}  // namespace snapwick
