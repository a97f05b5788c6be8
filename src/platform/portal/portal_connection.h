#pragma once
// The connection every portal call of the program goes over, and the name
// the portal knows the program by on it.
//
// xdg-desktop-portal 1.19.4 and later (Debian 13's 1.20.3, and 1.22, which
// refuses GlobalShortcuts to a program without an id) let a program that
// runs outside a sandbox name itself: Registry.Register(app_id) on its
// connection, accepted only as the connection's first portal call and only
// when `app_id.desktop` is found in the XDG data folders. The process's
// shared session connection is no place for it (on KDE, Qt's platform
// plugin calls the portal on it first), so the program opens a connection
// of its own and registers there before anything else, and every portal
// part (GlobalShortcuts, ScreenCast, Screenshot) calls over that one
// connection: one registration that decides for all of them, known before
// the first key is bound, and no Register inside a grab. QtDBus serves each
// connection on a thread of its own and delivers a signal on the thread of
// the object that listens, so the Screenshot portal's thread still hears
// its answers while the program's own thread waits for them.
//
// The desktop entry is made only where the registry turned out to exist:
// the first Register tells (an older front end does not know the method,
// and nothing changes there; a missing entry fails it, the entry is
// written, and Register is asked again).

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace snapwick::portal {

class PortalConnection : public QObject {
  Q_OBJECT

 public:
  enum class Registration : std::uint8_t {
    Pending,     // Register asked, the portal has not answered yet
    Registered,  // calls carry the program's id
    NoRegistry,  // an older front end: calls go without an id, as ever
    Refused,     // no id to be had: the program's calls would be refused
  };

  // Who the program is to the portal.
  struct Identity {
    QString appId;
    // Makes sure the desktop entry named after the id is where the portal
    // looks; false when it cannot be (a folder that cannot be written).
    std::function<bool()> ensureEntry;
  };

  // How long to wait before each new Register once the entry was written:
  // the portal reads the XDG folders through a file monitor, which may
  // notice a new file a moment after it was renamed into place.
  static const std::vector<std::chrono::milliseconds> kRetries;

  // Calls on `bus` go without an id (a portal that needs none, the tests);
  // Settled at once.
  explicit PortalConnection(const QDBusConnection& bus);
  // Registers `identity` on `bus` at once; the outcome comes as Settled.
  PortalConnection(const QDBusConnection& bus, Identity identity,
                   std::vector<std::chrono::milliseconds> retries = kRetries);
  ~PortalConnection() override;

  // A connection of the program's own to the session bus (`address`, or the
  // environment's when empty), registered as `identity`; nothing when the
  // bus cannot be reached. The connection ends with the object.
  static std::shared_ptr<PortalConnection> Open(const QString& address, Identity identity);

  const QDBusConnection& Bus() const { return bus_; }
  Registration Stage() const { return stage_; }
  bool IsSettled() const { return stage_ != Registration::Pending; }
  // Whether the portal may be called: settled, and not refused.
  bool Usable() const {
    return stage_ == Registration::Registered || stage_ == Registration::NoRegistry;
  }
  // Why the last Register failed (the portal's words), for the scenarios.
  const QString& Refusal() const { return refusal_; }

 signals:
  // The registration is decided, once.
  void Settled();

 private:
  void Register();
  void OnAnswer(QDBusPendingCallWatcher* watcher);
  void Settle(Registration stage);

  QDBusConnection bus_;
  Identity identity_;
  std::vector<std::chrono::milliseconds> retries_;
  std::size_t attempts_ = 0;
  Registration stage_ = Registration::Pending;
  QString refusal_;
  QString ownName_;  // the connection's name when this object opened it
};

}  // namespace snapwick::portal
