#pragma once
// The connection every portal call of the program goes over, and the name
// the portal knows the program by on it: Registry.Register(app_id), which
// the portal accepts only as a connection's first portal call and only
// when `app_id.desktop` is found in the XDG data folders, and without which
// a portal may refuse GlobalShortcuts. Qt may call the portal first on the
// shared session connection, so the program registers on a connection of
// its own, and every portal part (GlobalShortcuts, ScreenCast, Screenshot)
// calls over it: one registration, settled before the first key is bound,
// and no Register inside a grab. QtDBus serves the connection on a thread
// of its own, so the Screenshot portal's thread hears its answers while
// the program's thread waits for them.
//
// The desktop entry is made only where the registry exists: a front end
// without the method changes nothing; a missing entry fails the first
// Register, the entry is written, and Register is asked again.

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
