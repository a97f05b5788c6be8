// The program's entry on Linux: the session it was started in decides its
// platform (X11, or Wayland's), and Qt's event loop runs on the one
// user-interface thread. The program reads no command line of its own but
// the arguments of the compositor's key bindings, which make a start that
// only tells the running copy of the key (compositor_key_command.h).

#include <sys/stat.h>
#include <QApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>

#include "app/main_window_logic.h"
#include "platform/linux/compositor_key_command.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/linux_texts.h"
#include "platform/linux/session_kind.h"
#include "platform/linux/session_parts.h"
#include "platform/portal/portal_parts.h"
#include "platform/wayland/wayland_session.h"
#include "platform/x11/x11_session.h"
#include "platform/x11/x_display.h"

namespace {

using namespace snapwick;

// The tests' build of the program that never asks for the server's key
// events, to show that the keymap at the ticks still works: a virtual
// display always has them.
#ifdef SNAPWICK_POLL_ONLY
constexpr auto kKeyWake = x11::KeyWake::Poll;
#else
constexpr auto kKeyWake = x11::KeyWake::OnPress;
#endif

std::string_view Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool IsSocket(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

int NoDisplay() {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(linux::kNoXServerMessage.size()),
               linux::kNoXServerMessage.data());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const linux::SessionEnvironment environment{Env("WAYLAND_DISPLAY"), Env("XDG_SESSION_TYPE"),
                                              Env("DISPLAY")};
  const linux::SessionKind kind = linux::SessionKindOf(environment);
  // A compositor's key binding started this copy only to tell the running
  // one: before Qt and without a display, since labwc starts it at every
  // repeat of a held key.
  if (const auto key = linux::CompositorKeyArgument(std::span<const char* const>(
          argv + 1, argc > 1 ? static_cast<std::size_t>(argc - 1) : 0))) {
    return linux::RunCompositorKeyCommand(*key, Env("XDG_RUNTIME_DIR"),
                                          linux::SessionKey(kind, environment));
  }
  // A write to a pipe or socket whose reader is gone fails with EPIPE, as
  // any other failed write, instead of ending the program.
  std::signal(SIGPIPE, SIG_IGN);
  // Before Qt, which would abort without a display.
  std::unique_ptr<x11::XDisplay> display;
  const char* qtPlatform = linux::QtPlatformOf(kind);
  bool noCompositor = false;
  switch (kind) {
    case linux::SessionKind::X11:
      display = x11::XDisplay::Open();
      if (!display) return NoDisplay();
      break;
    case linux::SessionKind::Wayland:
      if (!IsSocket(linux::WaylandSocketPath(environment.waylandDisplay, Env("XDG_RUNTIME_DIR")))) {
        // No compositor to talk to: the window may still go to XWayland.
        if (environment.display.empty() || !x11::XDisplay::Open()) return NoDisplay();
        qtPlatform = "xcb";
        noCompositor = true;
      }
      break;
    case linux::SessionKind::None:
      return NoDisplay();
  }
  qputenv("QT_QPA_PLATFORM", qtPlatform);
  // The window lays itself out in device pixels at the screen's DPI
  // (window_scale.h), as the Windows build does: Qt's scaling by the DPI
  // would only stretch that layout by fractions. A factor the user gives
  // every Qt program (QT_SCALE_FACTOR) still applies.
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");

  QApplication app(argc, argv);
  // A Wayland session's parts come from its compositor (sway, the wlroots
  // compositors) or its desktop's portals (KDE Plasma, GNOME, Hyprland);
  // one that offers nothing the program can use, or whose compositor
  // cannot be reached, says so and makes no shots rather than black ones.
  linux::SessionParts parts;
  if (display) {
    parts = x11::MakeX11Session(std::move(display), kKeyWake);
  } else if (noCompositor) {
    parts.notice = linux::kNoCompositorMessage;
  } else {
    parts = wayland::MakeWaylandSession(portal::DesktopPortalWays());
  }
  linux::LinuxPlatform platform(std::move(parts), linux::SessionKey(kind, environment));
  MainWindowLogic logic(platform);
  // Start-up may end the program before the window is ever shown (another
  // copy is running).
  if (!platform.Create(logic)) return 0;
  platform.ShowFirst();
  return QApplication::exec();
}
