#pragma once
// What the desktop's portals give a Wayland session whose compositor has
// no way of its own to the hotkey or the screen: the factories the Linux
// program's start-up hands to the session's choice.

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "platform/linux/session_parts.h"
#include "platform/portal/desktop_backends.h"
#include "platform/portal/global_shortcuts.h"
#include "platform/portal/portal_connection.h"

namespace snapwick::portal {

// The token of the program's shortcut session, the same every run: where
// the portal knows the program by no id (an older front end), the desktop
// files its shortcut under this name.
inline constexpr char kShortcutToken[] = "snapwick";
// The file beside set.ini that keeps the screen cast's restore token.
inline constexpr char kRestoreTokenFile[] = "screencast.token";

// The connection the parts call the portal over, made at the first call
// and shared by the parts after it; nothing when there is no session bus.
using PortalConnectionSource = std::function<std::shared_ptr<PortalConnection>()>;

// A hotkey bound through GlobalShortcuts where a backend of `desktops`
// implements it; nothing otherwise (the front end offers the interface on
// desktops where no key ever fires), and then the connection is not made.
std::unique_ptr<linux::HotkeySource> MakePortalHotkey(const PortalConnectionSource& connection,
                                                      const QStringList& desktops,
                                                      const BackendFiles& files, ShortcutFlow flow);

// The screen through ScreenCast, or the Screenshot portal, as far as
// backends of `desktops` implement them; nothing where neither is.
std::unique_ptr<linux::ScreenSource> MakePortalScreen(const PortalConnectionSource& connection,
                                                      const QStringList& desktops,
                                                      const BackendFiles& files,
                                                      const QString& tokenFile);

// Both, for this session: XDG_CURRENT_DESKTOP and KDE_SESSION_VERSION, the
// machine's portal files, a session-bus connection of the program's own
// registered under its id (kAppId, with its desktop entry in the user's
// folder where the portal has the registry), the token file beside the
// executable. Call once the QApplication is up.
linux::DesktopWays DesktopPortalWays();

}  // namespace snapwick::portal
