#pragma once
// Whether a tray is there to hold the icon, and when that changes: the
// owner of the system tray selection for an XEmbed tray, the watcher's
// name on the session bus for StatusNotifier hosts. A panel that crashes
// or restarts takes its tray with it, and an icon in no tray cannot bring
// a hidden window back.

#include <QAbstractNativeEventFilter>
#include <QDBusServiceWatcher>
#include <QObject>
#include <functional>
#include <memory>

#include "platform/linux/tray_events.h"

namespace snapwick::linux {

class TrayPresence final : public QAbstractNativeEventFilter {
 public:
  // `onChange(present)` each time the tray goes away or comes back, on the
  // user-interface thread; never for a state that stays.
  TrayPresence(TrayHost host, std::function<void(bool present)> onChange);
  ~TrayPresence() override;
  TrayPresence(const TrayPresence&) = delete;
  TrayPresence& operator=(const TrayPresence&) = delete;

  bool Present() const { return present_; }

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  void Update(bool present);
  bool SelectionOwned() const;

  std::function<void(bool)> onChange_;
  bool present_ = false;
  // XEmbed: the selection _NET_SYSTEM_TRAY_S<screen> and the number of the
  // X server's selection events on Qt's connection; 0 when not watched.
  unsigned long selection_ = 0;
  int selectionEvent_ = -1;
  std::unique_ptr<QDBusServiceWatcher> watcher_;
};

}  // namespace snapwick::linux
