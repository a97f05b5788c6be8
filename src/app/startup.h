#pragma once
// The two ends of the program's life.

#include "platform/events.h"

namespace snapwick {

class Platform;
struct AppState;

// Runs when the window has been created and before it is first shown.
// A step that fails is skipped and start-up goes on with the next one.
// False when the program ends at once: another copy is running.
bool RunStartup(Platform& p, AppState& s);

// Returns true to cancel the close. The user's own close only hides the
// window; every other close removes the tray icon and the key capture
// first.
bool RunClosePath(Platform& p, CloseOrigin origin);

}  // namespace snapwick
