#pragma once
// A Wayland session's parts, each taken from the first of the ways the
// compositor offers it: the screen, the hotkey and the keymap are chosen
// apart from each other, so that a way added later (the desktop portals)
// is one more choice in its own list.

#include "platform/linux/session_parts.h"

namespace snapwick::wayland {

// Call once QApplication is up on Qt's Wayland plugin. The compositor's own
// ways come first, then the desktop's (`desktop`: the portals). A session
// that offers no way to the screen or none to the hotkey makes no shots:
// it watches no key (which would take it from applications for nothing)
// and says so with the notice.
linux::SessionParts MakeWaylandSession(const linux::DesktopWays& desktop = {});

}  // namespace snapwick::wayland
