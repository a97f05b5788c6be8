#include "platform/portal/portal_connection.h"

#include <QDBusMessage>
#include <QDBusPendingReply>
#include <QTimer>
#include <array>
#include <atomic>

#include "platform/portal/portal_request.h"

namespace snapwick::portal {

namespace {

constexpr char kRegistry[] = "org.freedesktop.host.portal.Registry";

// What the program does after Register failed with an error.
enum class AfterError : std::uint8_t { GoWithoutId, WriteEntryAndRetry, GiveUp };

struct ErrorWay {
  const char* name;
  AfterError next;
};

// A front end without the registry does not know the method; one with it
// answers Failed when it finds no entry for the id (among other things,
// which a new try does not mend and which then ends in GiveUp). Anything
// else (no portal, no answer, "Registered too late") leaves no id to have.
constexpr std::array<ErrorWay, 4> kErrorWays{{
    {"org.freedesktop.DBus.Error.UnknownMethod", AfterError::GoWithoutId},
    {"org.freedesktop.DBus.Error.UnknownInterface", AfterError::GoWithoutId},
    {"org.freedesktop.DBus.Error.UnknownObject", AfterError::GoWithoutId},
    {"org.freedesktop.portal.Error.Failed", AfterError::WriteEntryAndRetry},
}};

AfterError AfterErrorNamed(const QString& name) {
  for (const ErrorWay& way : kErrorWays) {
    if (name == QLatin1String(way.name)) return way.next;
  }
  return AfterError::GiveUp;
}

}  // namespace

// Longer in all than GLib's rescan of the data folders, which is how the
// portal notices a new desktop entry in a folder that did not exist.
const std::vector<std::chrono::milliseconds> PortalConnection::kRetries{
    std::chrono::milliseconds(200), std::chrono::milliseconds(500), std::chrono::milliseconds(1000),
    std::chrono::milliseconds(2000), std::chrono::milliseconds(4500)};

PortalConnection::PortalConnection(const QDBusConnection& bus)
    : bus_(bus), stage_(Registration::NoRegistry) {}

PortalConnection::PortalConnection(const QDBusConnection& bus, Identity identity,
                                   std::vector<std::chrono::milliseconds> retries)
    : bus_(bus), identity_(std::move(identity)), retries_(std::move(retries)) {
  Register();
}

PortalConnection::~PortalConnection() {
  if (!ownName_.isEmpty()) QDBusConnection::disconnectFromBus(ownName_);
}

std::shared_ptr<PortalConnection> PortalConnection::Open(const QString& address,
                                                         Identity identity) {
  static std::atomic<int> count{0};
  const QString name = QStringLiteral("snapwick-portal-%1").arg(++count);
  const QDBusConnection bus = address.isEmpty()
                                  ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)
                                  : QDBusConnection::connectToBus(address, name);
  if (!bus.isConnected()) {
    QDBusConnection::disconnectFromBus(name);
    return nullptr;
  }
  auto connection = std::make_shared<PortalConnection>(bus, std::move(identity));
  connection->ownName_ = name;
  return connection;
}

void PortalConnection::Register() {
  auto call =
      QDBusMessage::createMethodCall(QLatin1String(kPortalService), QLatin1String(kPortalPath),
                                     QLatin1String(kRegistry), QStringLiteral("Register"));
  call.setArguments({identity_.appId, QVariantMap{}});
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, &PortalConnection::OnAnswer);
}

void PortalConnection::OnAnswer(QDBusPendingCallWatcher* watcher) {
  watcher->deleteLater();
  const QDBusPendingReply<> reply = *watcher;
  if (!reply.isError()) {
    // Found, maybe from an entry of an earlier run beside another copy:
    // the one in the user's folder now names this copy. Quiet when it
    // cannot be written, since the portal has already taken the id.
    (void)identity_.ensureEntry();
    refusal_.clear();
    Settle(Registration::Registered);
    return;
  }
  refusal_ = reply.error().name() + QLatin1String(": ") + reply.error().message();
  switch (AfterErrorNamed(reply.error().name())) {
    case AfterError::GoWithoutId:
      Settle(Registration::NoRegistry);
      return;
    case AfterError::WriteEntryAndRetry:
      if (attempts_ < retries_.size() && identity_.ensureEntry()) {
        QTimer::singleShot(retries_[attempts_++], this, &PortalConnection::Register);
        return;
      }
      break;
    case AfterError::GiveUp:
      break;
  }
  Settle(Registration::Refused);
}

void PortalConnection::Settle(Registration stage) {
  stage_ = stage;
  emit Settled();
}

}  // namespace snapwick::portal
