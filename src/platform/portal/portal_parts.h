#pragma once
// What the desktop's portals give a Wayland session whose compositor has
// no way of its own to the hotkey or the screen: the factories the Linux
// program's start-up hands to the session's choice.

#include <QDBusConnection>
#include <QString>
#include <QStringList>
#include <memory>

#include "platform/linux/session_parts.h"
#include "platform/portal/desktop_backends.h"

namespace snapwick::portal {

// The token of the program's shortcut session, the same every run: a
// program started from a folder has no app id, and the desktop files its
// shortcut under this name.
inline constexpr char kShortcutToken[] = "snapwick";
// The file beside set.ini that keeps the screen cast's restore token.
inline constexpr char kRestoreTokenFile[] = "screencast.token";

// A hotkey bound through GlobalShortcuts where a backend of `desktops`
// implements it; nothing otherwise (the front end offers the interface on
// desktops where no key ever fires).
std::unique_ptr<linux::HotkeySource> MakePortalHotkey(const QDBusConnection& bus,
                                                      const QStringList& desktops,
                                                      const BackendFiles& files);

// The screen through ScreenCast, or the Screenshot portal, as far as
// backends of `desktops` implement them; nothing where neither is.
std::unique_ptr<linux::ScreenSource> MakePortalScreen(const QDBusConnection& bus,
                                                      const QStringList& desktops,
                                                      const BackendFiles& files,
                                                      const QString& tokenFile);

// Both, for this session: XDG_CURRENT_DESKTOP, the machine's portal files,
// the session bus, the token file beside the executable. Call once the
// QApplication is up.
linux::DesktopWays DesktopPortalWays();

}  // namespace snapwick::portal
