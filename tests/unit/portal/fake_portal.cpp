#include "fake_portal.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <atomic>

#include "platform/portal/portal_request.h"

namespace snapwick::portal::testing {

namespace {

constexpr char kRegistryInterface[] = "org.freedesktop.host.portal.Registry";

}  // namespace

QVariantMap PortalCall::Options() const {
  if (args.isEmpty()) return {};
  return qdbus_cast<QVariantMap>(args.last());
}

PrivateBus::PrivateBus() {
  const QString socket = dir_.filePath(QStringLiteral("bus"));
  // No service folders: a name nobody owns must stay unowned, not start
  // the machine's real portal.
  const QString config = dir_.filePath(QStringLiteral("bus.conf"));
  QFile file(config);
  if (file.open(QIODevice::WriteOnly)) {
    file.write(QStringLiteral("<busconfig><type>session</type><listen>unix:path=%1</listen>"
                              "<auth>EXTERNAL</auth><policy context=\"default\">"
                              "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                              "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>"
                              "</busconfig>")
                   .arg(socket)
                   .toUtf8());
    file.close();
  }
  // The daemon prints its address once it takes connections; its socket's
  // file appears a moment before that, and a client that came then was
  // turned away now and then.
  daemon_.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                 QStringLiteral("--nosyslog"), QStringLiteral("--print-address=1")});
  daemon_.waitForStarted(5000);
  const QDeadlineTimer deadline(10000);
  while (!daemon_.canReadLine() && !deadline.hasExpired()) {
    daemon_.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
  }
  address_ = QStringLiteral("unix:path=") + socket;
}

PrivateBus::~PrivateBus() {
  daemon_.terminate();
  daemon_.waitForFinished(5000);
}

class FakePortal::Object : public QDBusVirtualObject {
 public:
  explicit Object(FakePortal* owner) : owner_(owner) {}
  ~Object() override {
    for (int fd : remotes_) ::close(fd);
  }

  QString introspect(const QString&) const override { return {}; }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    PortalCall call{message.path(),
                    message.interface(),
                    message.member(),
                    message.arguments(),
                    message.service(),
                    {},
                    {}};
    if (message.interface() == QLatin1String(kRegistryInterface)) {
      const QDBusMessage reply = owner_->Register(message);
      {
        std::lock_guard lock(owner_->mutex_);
        owner_->calls_.push_back(call);
      }
      connection.send(reply);
      return true;
    }
    {
      // Any other call fixes the caller's id, none if it has not
      // registered.
      std::lock_guard lock(owner_->mutex_);
      call.appId = owner_->appIds_.try_emplace(call.sender).first->second;
    }
    if (message.interface() == QLatin1String(kSessionInterface) ||
        message.interface() == QLatin1String(kRequestInterface)) {
      connection.send(message.createReply());
    } else if (call.method == QLatin1String("OpenPipeWireRemote")) {
      // A remote whose far end is kept open and never answers: the
      // client's PipeWire connection stays up, and carries no frame.
      int ends[2] = {-1, -1};
      if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
      remotes_.push_back(ends[0]);
      remotes_.push_back(ends[1]);
      connection.send(message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(ends[0]))));
    } else {
      const QString token = call.Options().value(QStringLiteral("handle_token")).toString();
      call.requestPath = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                             .arg(SenderElement(call.sender), token);
      connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(call.requestPath))));
    }
    Answerer answerer;
    {
      std::lock_guard lock(owner_->mutex_);
      owner_->calls_.push_back(call);
      answerer = owner_->answerer_;
    }
    if (call.requestPath.isEmpty()) return true;
    std::optional<PortalAnswer> answer = answerer ? answerer(call) : PortalAnswer{};
    if (answer) Respond(connection, call, *answer);
    return true;
  }

  static void Respond(const QDBusConnection& connection, const PortalCall& call,
                      const PortalAnswer& answer) {
    auto signal = QDBusMessage::createSignal(call.requestPath, QLatin1String(kRequestInterface),
                                             QStringLiteral("Response"));
    signal.setArguments({answer.code, answer.results});
    connection.send(signal);
  }

 private:
  FakePortal* owner_;
  std::vector<int> remotes_;
};

FakePortal::FakePortal(const QString& busAddress) : busAddress_(busAddress) {
  static std::atomic<int> count{0};
  connectionName_ = QStringLiteral("fake-portal-%1").arg(++count);
  context_ = new QObject;
  context_->moveToThread(&thread_);
  thread_.start();
  QMetaObject::invokeMethod(
      context_,
      [this] {
        auto bus = QDBusConnection::connectToBus(busAddress_, connectionName_);
        object_ = new Object(this);
        bus.registerVirtualObject(QLatin1String(kPortalPath), object_, QDBusConnection::SubPath);
        bus.registerService(QLatin1String(kPortalService));
      },
      Qt::BlockingQueuedConnection);
}

FakePortal::~FakePortal() {
  QMetaObject::invokeMethod(
      context_,
      [this] {
        {
          auto bus = QDBusConnection(connectionName_);
          bus.unregisterObject(QLatin1String(kPortalPath), QDBusConnection::UnregisterTree);
        }
        QDBusConnection::disconnectFromBus(connectionName_);
        delete object_;
      },
      Qt::BlockingQueuedConnection);
  thread_.quit();
  thread_.wait();
  delete context_;
}

void FakePortal::SetAnswerer(Answerer answerer) {
  std::lock_guard lock(mutex_);
  answerer_ = std::move(answerer);
}

void FakePortal::Respond(const PortalCall& call, const PortalAnswer& answer) {
  Object::Respond(QDBusConnection(connectionName_), call, answer);
}

void FakePortal::SetRegistry(const QStringList& entryFolders) {
  std::lock_guard lock(mutex_);
  registry_ = entryFolders;
}

// The front end's answers, word for word.
QDBusMessage FakePortal::Register(const QDBusMessage& message) {
  const QString id = message.arguments().value(0).toString();
  std::lock_guard lock(mutex_);
  if (!registry_) {
    return message.createErrorReply(
        QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
        QStringLiteral("No such interface '%1'").arg(QLatin1String(kRegistryInterface)));
  }
  if (appIds_.count(message.service()) != 0) {
    return message.createErrorReply(
        QStringLiteral("org.freedesktop.portal.Error.Failed"),
        QStringLiteral(
            "Could not register app ID: Connection already associated with an application ID"));
  }
  const bool found = std::any_of(registry_->begin(), registry_->end(), [&](const QString& folder) {
    return QFile::exists(QDir(folder).filePath(id + QStringLiteral(".desktop")));
  });
  if (!found) {
    return message.createErrorReply(
        QStringLiteral("org.freedesktop.portal.Error.Failed"),
        QStringLiteral("Could not register app ID: App info not found for '%1'").arg(id));
  }
  appIds_[message.service()] = id;
  return message.createReply();
}

std::vector<PortalCall> FakePortal::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<PortalCall> FakePortal::CallsOf(const QString& method) const {
  std::vector<PortalCall> found;
  for (const auto& call : Calls()) {
    if (call.method == method) found.push_back(call);
  }
  return found;
}

void FakePortal::Signal(const QString& path, const QString& interface, const QString& name,
                        const QVariantList& args) {
  auto signal = QDBusMessage::createSignal(path, interface, name);
  signal.setArguments(args);
  QDBusConnection(connectionName_).send(signal);
}

QString FakePortal::SessionPathOf(const PortalCall& call) {
  return QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
      .arg(SenderElement(call.sender),
           call.Options().value(QStringLiteral("session_handle_token")).toString());
}

}  // namespace snapwick::portal::testing
