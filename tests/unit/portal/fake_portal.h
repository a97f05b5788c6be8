#pragma once
// A desktop portal for the tests: org.freedesktop.portal.Desktop on a
// private session bus of the test's own (a dbus-daemon it starts), served
// from a thread of its own so that a caller blocked in a grab still gets
// its answers. It records every call, answers each request method on its
// request path as the real front end does (the reply first, then the
// Response signal), and sends whatever signal a test asks for. Where a test
// gives it the host registry, it keeps the app id of each connection as
// xdg-desktop-portal 1.20 does: fixed by the connection's first call,
// Register's (when an entry of that name is in the given folders) or any
// other's (none).

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QThread>
#include <QVariantList>
#include <QVariantMap>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace snapwick::portal::testing {

struct PortalCall {
  QString path;
  QString interface;
  QString method;
  QVariantList args;
  QString sender;
  QString requestPath;  // for request methods: where the answer goes
  QString appId;        // the caller's, as the portal knows it; empty: none
  QVariantMap Options() const;
};

struct PortalAnswer {
  uint code = 0;
  QVariantMap results;
};

// A dbus-daemon of the test's own; stopped when this goes.
class PrivateBus {
 public:
  PrivateBus();
  ~PrivateBus();
  const QString& Address() const { return address_; }

 private:
  QTemporaryDir dir_;
  QProcess daemon_;
  QString address_;
};

class FakePortal {
 public:
  using Answerer = std::function<std::optional<PortalAnswer>(const PortalCall&)>;

  explicit FakePortal(const QString& busAddress);
  ~FakePortal();

  // How request methods are answered; by default success with no results.
  // Nothing: not answered now (Respond may answer it later). Runs on the
  // portal's thread.
  void SetAnswerer(Answerer answerer);
  // Answers a request that the answerer left unanswered.
  void Respond(const PortalCall& call, const PortalAnswer& answer);
  // The host registry, taking an id whose desktop entry is in one of
  // `entryFolders`; without it (the default) Register is an unknown
  // method, as on xdg-desktop-portal 1.16.
  void SetRegistry(const QStringList& entryFolders);
  std::vector<PortalCall> Calls() const;
  std::vector<PortalCall> CallsOf(const QString& method) const;
  void Signal(const QString& path, const QString& interface, const QString& name,
              const QVariantList& args);

  // The session path the portal gives for a CreateSession call.
  static QString SessionPathOf(const PortalCall& call);

 private:
  class Object;

  QDBusMessage Register(const QDBusMessage& message);

  QThread thread_;
  QObject* context_ = nullptr;  // lives on thread_, where the calls are served
  QString busAddress_;
  QString connectionName_;
  Object* object_ = nullptr;
  mutable std::mutex mutex_;
  std::vector<PortalCall> calls_;
  Answerer answerer_;
  std::optional<QStringList> registry_;
  std::map<QString, QString> appIds_;  // by the caller's unique name
};

}  // namespace snapwick::portal::testing
