#include "platform/linux/session_kind.h"

#include <gtest/gtest.h>

namespace snapwick::linux {
namespace {

TEST(SessionKindOf, Environment_TheSessionsOwnKindWhateverDisplaySays) {
  const struct {
    const char* what;
    SessionEnvironment environment;
    SessionKind kind;
  } cases[] = {
      {"X11 desktop", {"", "x11", ":0"}, SessionKind::X11},
      {"X11 without a session type (ssh -X, startx)", {"", "", "localhost:10.0"}, SessionKind::X11},
      {"session type tty over ssh -X", {"", "tty", "localhost:10.0"}, SessionKind::X11},
      {"Wayland with XWayland", {"wayland-0", "wayland", ":0"}, SessionKind::Wayland},
      {"Wayland socket only", {"wayland-1", "", ""}, SessionKind::Wayland},
      {"Wayland session, WAYLAND_DISPLAY unset", {"", "wayland", ":0"}, SessionKind::Wayland},
      {"nothing at all", {"", "", ""}, SessionKind::None},
      {"a text console", {"", "tty", ""}, SessionKind::None},
  };
  for (const auto& c : cases) EXPECT_EQ(SessionKindOf(c.environment), c.kind) << c.what;
}

TEST(QtPlatformOf, Kind_QtsWindowWhereTheSessionsWindowsAre) {
  EXPECT_STREQ(QtPlatformOf(SessionKind::X11), "xcb");
  // XWayland as the way out when Qt cannot talk to the compositor.
  EXPECT_STREQ(QtPlatformOf(SessionKind::Wayland), "wayland;xcb");
}

TEST(WaylandSocketPath, NameAbsoluteOrUnset_WhereLibwaylandLooks) {
  EXPECT_EQ(WaylandSocketPath("wayland-1", "/run/user/1000"), "/run/user/1000/wayland-1");
  EXPECT_EQ(WaylandSocketPath("wayland-1", "/run/user/1000/"), "/run/user/1000/wayland-1");
  EXPECT_EQ(WaylandSocketPath("", "/run/user/1000"), "/run/user/1000/wayland-0");
  EXPECT_EQ(WaylandSocketPath("/tmp/sock", ""), "/tmp/sock");
  EXPECT_EQ(WaylandSocketPath("wayland-1", ""), "");
}

TEST(SessionKey, TwoSessionsOfOneUser_TwoKeys) {
  const SessionEnvironment x{"", "x11", ":1"};
  const SessionEnvironment wayland{"wayland-1", "wayland", ":1"};
  EXPECT_EQ(SessionKey(SessionKind::X11, x), ":1");
  EXPECT_NE(SessionKey(SessionKind::Wayland, wayland), SessionKey(SessionKind::X11, x));
  EXPECT_NE(SessionKey(SessionKind::Wayland, wayland),
            SessionKey(SessionKind::Wayland, {"wayland-2", "wayland", ":1"}));
}

}  // namespace
}  // namespace snapwick::linux
