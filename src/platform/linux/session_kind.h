#pragma once
// Which kind of session the program was started in, from the environment
// that every desktop sets for its programs. The program has no switch of
// its own: the session decides its platform.

#include <cstdint>
#include <string>
#include <string_view>

namespace snapwick::linux {

enum class SessionKind : std::uint8_t {
  X11,
  Wayland,
  // Neither: no window can be shown.
  None,
};

struct SessionEnvironment {
  std::string_view waylandDisplay;  // WAYLAND_DISPLAY
  std::string_view sessionType;     // XDG_SESSION_TYPE
  std::string_view display;         // DISPLAY
};

// A Wayland session also has an X server (XWayland) for older programs,
// and DISPLAY names it; but its root window shows none of the Wayland
// windows, so a Wayland session is Wayland whatever DISPLAY says.
SessionKind SessionKindOf(const SessionEnvironment& environment);

// Where the compositor's socket is: WAYLAND_DISPLAY as an absolute path,
// or under the runtime folder; "wayland-0" when it is not set, as
// libwayland has it. Empty when there is no runtime folder for a relative
// name.
std::string WaylandSocketPath(std::string_view waylandDisplay, std::string_view runtimeFolder);

// Qt's platform plugins for the session, in the order tried: Qt's window
// lives where the session's own windows do.
const char* QtPlatformOf(SessionKind kind);

// What tells this session from another for the single instance.
std::string SessionKey(SessionKind kind, const SessionEnvironment& environment);

}  // namespace snapwick::linux
