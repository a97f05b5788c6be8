#pragma once
// What every portal call shares: the desktop's answer comes later, as a
// Response signal on a request object whose path the caller can know
// beforehand (its connection's unique name and a token it chose), so that
// it listens before it asks and no answer can slip past.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <cstdint>

namespace snapwick::portal {

inline constexpr char kPortalService[] = "org.freedesktop.portal.Desktop";
inline constexpr char kPortalPath[] = "/org/freedesktop/portal/desktop";
inline constexpr char kRequestInterface[] = "org.freedesktop.portal.Request";
inline constexpr char kSessionInterface[] = "org.freedesktop.portal.Session";

enum class ResponseOutcome : std::uint8_t { Success, Cancelled, Failed };

// The Response signal's code: 0 success, 1 cancelled by the user, 2 ended
// some other way. A code the interface does not define counts as a failure.
ResponseOutcome OutcomeOf(std::uint32_t code);

// ":1.42" gives "1_42", the form the portal puts in its objects' paths.
QString SenderElement(const QString& uniqueName);
// /org/freedesktop/portal/desktop/request/SENDER/TOKEN for a call made on
// `bus` with handle_token `token`.
QString RequestPath(const QDBusConnection& bus, const QString& token);
// /org/freedesktop/portal/desktop/session/SENDER/TOKEN likewise.
QString SessionPath(const QDBusConnection& bus, const QString& token);

// A fresh handle token for each call of this process: "snapwick_N".
QString NextRequestToken();

// One call of a portal method whose answer comes as a Response signal.
// Lives on the thread whose event loop it answers on; deletes itself after
// Answered.
class PortalRequest : public QObject {
  Q_OBJECT

 public:
  // Sends `interface`.`method`(arguments) to the portal; `options` is the
  // vardict that ends every such method's arguments, where the handle
  // token is put. The object is already answering when this returns.
  static PortalRequest* Send(const QDBusConnection& bus, const QString& interface,
                             const QString& method, QVariantList arguments, QVariantMap options,
                             QObject* parent);

  // Stops listening: Answered never comes, and the object goes. A request
  // still unanswered is closed (Request.Close), so that a dialog it put up
  // goes too: GNOME keeps its "Add Keyboard Shortcuts" up after the
  // session it was for has closed, and its Add then binds the key for the
  // next session of the same path.
  void Abandon();

 signals:
  // The desktop's answer; Failed with no results when the call itself
  // failed (no portal, no such interface, bad arguments).
  void Answered(snapwick::portal::ResponseOutcome outcome, const QVariantMap& results);

 private slots:
  void OnResponse(const QDBusMessage& message);

 private:
  PortalRequest(const QDBusConnection& bus, QObject* parent) : QObject(parent), bus_(bus) {}
  void Listen(const QString& path);
  void StopListening();
  void Finish(ResponseOutcome outcome, const QVariantMap& results);

  QDBusConnection bus_;
  QString path_;
  bool finished_ = false;
};

}  // namespace snapwick::portal
