#pragma once
// Whether the desktop the program runs in implements a portal interface
// itself. xdg-desktop-portal answers for an interface when any installed
// backend has it, even one made for another desktop: on GNOME 43 with KDE's
// backend installed it offers GlobalShortcuts, takes the shortcut, and
// nothing ever fires, because GNOME's compositor does not hand keys to
// KDE's shortcut daemon. The front end's own choice is read from the same
// files it reads.

#include <QString>
#include <QStringList>

namespace snapwick::portal {

struct BackendFiles {
  // Folders holding *.portal files, each [portal] DBusName=, Interfaces=,
  // UseIn= (/usr/share/xdg-desktop-portal/portals).
  QStringList portalFolders;
  // Folders where a newer front end looks for DESKTOP-portals.conf or
  // portals.conf, most important first (~/.config/xdg-desktop-portal,
  // /etc/xdg-desktop-portal, /usr/share/xdg-desktop-portal).
  QStringList configFolders;
};

// The files where this machine keeps them.
BackendFiles SystemBackendFiles();

// The desktops this session runs (XDG_CURRENT_DESKTOP, split at ':').
QStringList CurrentDesktops();

// Whether a backend meant for one of `desktops` (XDG_CURRENT_DESKTOP, split
// at ':', compared without case) implements `interface`
// ("org.freedesktop.impl.portal.GlobalShortcuts"). A portals.conf that
// names backends for the interface, or as its default, decides which
// count; without one, a backend's UseIn does.
bool DesktopImplements(const QString& interface, const QStringList& desktops,
                       const BackendFiles& files);

}  // namespace snapwick::portal
