#pragma once
// What a click on the tray icon means to the program, by the kind of tray
// that reports it.

#include <QSystemTrayIcon>
#include <optional>

#include "platform/events.h"

namespace snapwick::linux {

enum class TrayHost : std::uint8_t {
  // An XEmbed tray gives the icon a window of its own; Qt reports the left
  // press as Trigger and a double-click as Trigger then DoubleClick.
  XEmbed,
  // A StatusNotifier host (over D-Bus) only says that the icon was
  // activated, never that it was double-clicked.
  StatusNotifier,
};

std::optional<TrayEvent> TrayEventOf(QSystemTrayIcon::ActivationReason reason, TrayHost host);

// The host that Qt's tray icon uses: a StatusNotifier host when the
// session bus has a watcher that a host has registered with, as Qt
// decides; otherwise the XEmbed tray.
TrayHost DetectTrayHost();

}  // namespace snapwick::linux
