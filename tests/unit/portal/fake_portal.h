#pragma once
// A desktop portal for the tests: org.freedesktop.portal.Desktop on a
// private session bus of the test's own (a dbus-daemon it starts), served
// from a thread of its own so that a caller blocked in a grab still gets
// its answers. It records every call, answers each request method on its
// request path as the real front end does (the reply first, then the
// Response signal), and sends whatever signal a test asks for.

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
  // Nothing: the request is never answered. Runs on the portal's thread.
  void SetAnswerer(Answerer answerer);
  std::vector<PortalCall> Calls() const;
  std::vector<PortalCall> CallsOf(const QString& method) const;
  void Signal(const QString& path, const QString& interface, const QString& name,
              const QVariantList& args);

  // The session path the portal gives for a CreateSession call.
  static QString SessionPathOf(const PortalCall& call);

 private:
  class Object;

  QThread thread_;
  QObject* context_ = nullptr;  // lives on thread_, where the calls are served
  QString busAddress_;
  QString connectionName_;
  Object* object_ = nullptr;
  mutable std::mutex mutex_;
  std::vector<PortalCall> calls_;
  Answerer answerer_;
};

}  // namespace snapwick::portal::testing
