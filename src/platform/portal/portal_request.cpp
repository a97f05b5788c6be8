#include "platform/portal/portal_request.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <atomic>

namespace snapwick::portal {

ResponseOutcome OutcomeOf(std::uint32_t code) {
  switch (code) {
    case 0:
      return ResponseOutcome::Success;
    case 1:
      return ResponseOutcome::Cancelled;
    default:
      return ResponseOutcome::Failed;
  }
}

QString SenderElement(const QString& uniqueName) {
  QString element = uniqueName.startsWith(u':') ? uniqueName.mid(1) : uniqueName;
  element.replace(u'.', u'_');
  return element;
}

QString RequestPath(const QDBusConnection& bus, const QString& token) {
  return QStringLiteral("%1/request/%2/%3")
      .arg(QLatin1String(kPortalPath), SenderElement(bus.baseService()), token);
}

QString SessionPath(const QDBusConnection& bus, const QString& token) {
  return QStringLiteral("%1/session/%2/%3")
      .arg(QLatin1String(kPortalPath), SenderElement(bus.baseService()), token);
}

QString NextRequestToken() {
  // Several objects and threads ask at once; a token must never repeat in
  // one connection's life.
  static std::atomic<unsigned> counter{0};
  return QStringLiteral("snapwick_%1").arg(++counter);
}

PortalRequest* PortalRequest::Send(const QDBusConnection& bus, const QString& interface,
                                   const QString& method, QVariantList arguments,
                                   QVariantMap options, QObject* parent) {
  auto* request = new PortalRequest(bus, parent);
  const QString token = NextRequestToken();
  options.insert(QStringLiteral("handle_token"), token);
  arguments.append(options);
  // Listening before asking: the answer may come before the call returns.
  request->Listen(RequestPath(bus, token));
  auto call = QDBusMessage::createMethodCall(QLatin1String(kPortalService),
                                             QLatin1String(kPortalPath), interface, method);
  call.setArguments(arguments);
  auto* watcher = new QDBusPendingCallWatcher(request->bus_.asyncCall(call), request);
  connect(watcher, &QDBusPendingCallWatcher::finished, request,
          [request](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            QDBusPendingReply<QDBusObjectPath> reply = *w;
            if (reply.isError()) {
              request->Finish(ResponseOutcome::Failed, {});
            } else if (reply.value().path() != request->path_) {
              // An old front end may answer on a path of its own choosing.
              request->Listen(reply.value().path());
            }
          });
  return request;
}

void PortalRequest::Abandon() {
  if (!finished_ && !path_.isEmpty()) {
    // Nobody waits for the reply; a request already gone answers an error.
    bus_.asyncCall(QDBusMessage::createMethodCall(QLatin1String(kPortalService), path_,
                                                  QLatin1String(kRequestInterface),
                                                  QStringLiteral("Close")));
  }
  finished_ = true;
  StopListening();
  deleteLater();
}

void PortalRequest::Listen(const QString& path) {
  StopListening();
  path_ = path;
  bus_.connect(QLatin1String(kPortalService), path_, QLatin1String(kRequestInterface),
               QStringLiteral("Response"), this, SLOT(OnResponse(QDBusMessage)));
}

void PortalRequest::StopListening() {
  if (path_.isEmpty()) return;
  bus_.disconnect(QLatin1String(kPortalService), path_, QLatin1String(kRequestInterface),
                  QStringLiteral("Response"), this, SLOT(OnResponse(QDBusMessage)));
}

void PortalRequest::OnResponse(const QDBusMessage& message) {
  const QVariantList args = message.arguments();
  if (message.path() != path_) return;
  if (args.size() != 2 || !args[0].canConvert<uint>()) {
    Finish(ResponseOutcome::Failed, {});
    return;
  }
  Finish(OutcomeOf(args[0].toUInt()), qdbus_cast<QVariantMap>(args[1]));
}

void PortalRequest::Finish(ResponseOutcome outcome, const QVariantMap& results) {
  if (finished_) return;
  finished_ = true;
  StopListening();
  emit Answered(outcome, results);
  deleteLater();
}

}  // namespace snapwick::portal
