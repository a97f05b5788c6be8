#include "platform/linux/tray_presence.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QGuiApplication>
#include <cstdlib>
#include <string>

// After Qt's headers: Xlib's macros clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <xcb/xcb.h>

namespace snapwick::linux {
namespace {

const QString kWatcherName = QStringLiteral("org.kde.StatusNotifierWatcher");

QNativeInterface::QX11Application* QtX11() {
  return qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
}

Display* QtDisplay() {
  auto* x11 = QtX11();
  return x11 ? x11->display() : nullptr;
}

}  // namespace

TrayPresence::TrayPresence(TrayHost host, std::function<void(bool)> onChange)
    : onChange_(std::move(onChange)) {
  if (host == TrayHost::StatusNotifier) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusConnectionInterface* names = bus.isConnected() ? bus.interface() : nullptr;
    present_ = names && names->isServiceRegistered(kWatcherName).value();
    watcher_ = std::make_unique<QDBusServiceWatcher>(
        kWatcherName, bus,
        QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration);
    QObject::connect(watcher_.get(), &QDBusServiceWatcher::serviceRegistered, watcher_.get(),
                     [this](const QString&) { Update(true); });
    QObject::connect(watcher_.get(), &QDBusServiceWatcher::serviceUnregistered, watcher_.get(),
                     [this](const QString&) { Update(false); });
    return;
  }
  Display* display = QtDisplay();
  int errorBase = 0;
  int eventBase = 0;
  if (!display || !XFixesQueryExtension(display, &eventBase, &errorBase)) return;
  const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(display));
  selection_ = XInternAtom(display, name.c_str(), False);
  selectionEvent_ = eventBase + XFixesSelectionNotify;
  // Qt's connection reads the events: they reach this filter as xcb's.
  QCoreApplication::instance()->installNativeEventFilter(this);
  XFixesSelectSelectionInput(display, DefaultRootWindow(display), selection_,
                             XFixesSetSelectionOwnerNotifyMask |
                                 XFixesSelectionWindowDestroyNotifyMask |
                                 XFixesSelectionClientCloseNotifyMask);
  XFlush(display);
  present_ = SelectionOwned();
}

TrayPresence::~TrayPresence() {
  if (selectionEvent_ >= 0 && QCoreApplication::instance()) {
    QCoreApplication::instance()->removeNativeEventFilter(this);
  }
}

bool TrayPresence::SelectionOwned() const {
  auto* x11 = QtX11();
  xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
  if (!connection) return false;
  // On xcb, as Qt reads its events there: the question may be asked while
  // Qt hands one of them on.
  xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
      connection, xcb_get_selection_owner(connection, static_cast<xcb_atom_t>(selection_)),
      nullptr);
  const bool owned = reply && reply->owner != XCB_WINDOW_NONE;
  std::free(reply);
  return owned;
}

bool TrayPresence::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (eventType != "xcb_generic_event_t") return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  // Qt hears of other selections (the clipboard's) the same way: the
  // owner is asked rather than the event's selection read.
  if ((event->response_type & 0x7f) == selectionEvent_) Update(SelectionOwned());
  return false;
}

void TrayPresence::Update(bool present) {
  if (present == present_) return;
  present_ = present;
  if (onChange_) onChange_(present);
}

}  // namespace snapwick::linux
