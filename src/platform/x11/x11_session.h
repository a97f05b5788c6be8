#pragma once
// An X11 session's parts, all over the program's own connection to the
// server.

#include <cstdint>
#include <memory>

#include "platform/linux/session_parts.h"
#include "platform/x11/x_display.h"

namespace snapwick::x11 {

// How the hotkey is seen.
enum class KeyWake : std::uint8_t {
  // The server's raw key events where it has them, the keymap at every
  // tick otherwise.
  OnPress,
  // Always the keymap at every tick, as on a server without those events.
  Poll,
};

// Call once QApplication is up (see XDisplay::TakeErrors). On XWayland
// (a Wayland session's X server, whose root window shows none of the
// Wayland windows) there is no hotkey and no screen, only the keymap and
// the notice that says why.
linux::SessionParts MakeX11Session(std::unique_ptr<XDisplay> display, KeyWake wake);

}  // namespace snapwick::x11
