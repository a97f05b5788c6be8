#include "platform/linux/session_kind.h"

namespace snapwick::linux {

SessionKind SessionKindOf(const SessionEnvironment& environment) {
  if (!environment.waylandDisplay.empty() || environment.sessionType == "wayland") {
    return SessionKind::Wayland;
  }
  if (!environment.display.empty()) return SessionKind::X11;
  return SessionKind::None;
}

std::string WaylandSocketPath(std::string_view waylandDisplay, std::string_view runtimeFolder) {
  const std::string_view name = waylandDisplay.empty() ? "wayland-0" : waylandDisplay;
  if (name.front() == '/') return std::string(name);
  if (runtimeFolder.empty()) return {};
  std::string path(runtimeFolder);
  if (path.back() != '/') path += '/';
  return path + std::string(name);
}

const char* QtPlatformOf(SessionKind kind) {
  // A Wayland session whose compositor Qt cannot use still shows the
  // window through XWayland.
  return kind == SessionKind::Wayland ? "wayland;xcb" : "xcb";
}

std::string SessionKey(SessionKind kind, const SessionEnvironment& environment) {
  if (kind != SessionKind::Wayland) return std::string(environment.display);
  return "wayland-" +
         std::string(environment.waylandDisplay.empty() ? "wayland-0" : environment.waylandDisplay);
}

}  // namespace snapwick::linux
