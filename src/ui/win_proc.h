#pragma once
// The keyboard hook unit. Its three values are program-wide because the
// system calls the hook procedure without a window.

#include <cstdint>

#include "platform/types.h"

namespace snapwick {

class Platform;
struct AppState;

struct WinProcValues {
  Handle HookHandle = 0;     // 0 until installed, and if installing failed
  std::int32_t PendingKey = 0;  // last key captured by the hook; 0: none
  std::int32_t HotKey = 0;      // the active hotkey; 0: none
};

// The one program-wide instance.
extern WinProcValues WinProc;

// Called by the system for every keyboard message the user-interface thread
// takes from its queue. Captures a released key with a name as the pending
// hotkey, shows its name and always passes the message on.
std::intptr_t KeyboardProc(Platform& p, AppState& s, int code, std::intptr_t wParam,
                           std::intptr_t lParam);

}  // namespace snapwick
