#include "platform/linux/tray_events.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QVariant>

namespace snapwick::linux {

std::optional<TrayEvent> TrayEventOf(QSystemTrayIcon::ActivationReason reason, TrayHost host) {
  switch (reason) {
    case QSystemTrayIcon::Trigger:
      // A StatusNotifier click has to toggle the window by itself; an
      // XEmbed click is the first half of a possible double-click, which
      // alone toggles.
      return host == TrayHost::StatusNotifier ? TrayEvent::Activate : TrayEvent::LeftPress;
    case QSystemTrayIcon::DoubleClick:
      return TrayEvent::LeftDoubleClick;
    case QSystemTrayIcon::Context:
      return TrayEvent::RightPress;
    case QSystemTrayIcon::MiddleClick:
      return TrayEvent::MiddlePress;
    case QSystemTrayIcon::Unknown:
      return std::nullopt;
  }
  return std::nullopt;
}

TrayHost DetectTrayHost() {
  const QString watcherName = QStringLiteral("org.kde.StatusNotifierWatcher");
  QDBusConnection bus = QDBusConnection::sessionBus();
  const QDBusConnectionInterface* names = bus.isConnected() ? bus.interface() : nullptr;
  if (!names || !names->isServiceRegistered(watcherName).value()) return TrayHost::XEmbed;
  QDBusInterface watcher(watcherName, QStringLiteral("/StatusNotifierWatcher"), watcherName, bus);
  return watcher.property("IsStatusNotifierHostRegistered").toBool() ? TrayHost::StatusNotifier
                                                                     : TrayHost::XEmbed;
}

}  // namespace snapwick::linux
