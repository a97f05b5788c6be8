#include "platform/portal/portal_session.h"

#include <QDBusPendingCallWatcher>
#include <QPointer>

namespace snapwick::portal {

namespace {

QDBusMessage CloseCall(const QString& path) {
  return QDBusMessage::createMethodCall(QLatin1String(kPortalService), path,
                                        QLatin1String(kSessionInterface), QStringLiteral("Close"));
}

// Where the desktop put the session: the handle it names, or the path the
// token gives (the same, from every front end that answers at all).
QString CreatedPath(const QDBusConnection& bus, const QString& token, const QVariantMap& results) {
  const QString handle = results.value(QStringLiteral("session_handle")).toString();
  return handle.isEmpty() ? SessionPath(bus, token) : handle;
}

}  // namespace

PortalSession::PortalSession(std::shared_ptr<PortalConnection> connection, const char* interface,
                             QObject* parent)
    : QObject(parent), connection_(std::move(connection)), interface_(QLatin1String(interface)) {
  connect(connection_.get(), &PortalConnection::Settled, this, &PortalSession::TryCreate);
}

PortalSession::~PortalSession() { EndSession(); }

void PortalSession::CreateSession(const QString& token, const QVariantMap& options) {
  EndSession();
  wanted_ = Wanted{token, options};
  TryCreate();
}

void PortalSession::TryCreate() {
  if (!wanted_ || closing_ > 0 || creating_ || !connection_->IsSettled()) return;
  const Wanted wanted = *wanted_;
  wanted_.reset();
  if (!connection_->Usable()) {
    QMetaObject::invokeMethod(
        this,
        [this, round = round_] {
          if (round == round_) OnCreateFailed(ResponseOutcome::Failed);
        },
        Qt::QueuedConnection);
    return;
  }
  QVariantMap options = wanted.options;
  options.insert(QStringLiteral("session_handle_token"), wanted.token);
  creating_ = true;
  creatingToken_ = wanted.token;
  request_ =
      PortalRequest::Send(Bus(), interface_, QStringLiteral("CreateSession"), {}, options, this);
  connect(request_, &PortalRequest::Answered, this,
          [this](ResponseOutcome outcome, const QVariantMap& results) {
            request_ = nullptr;
            creating_ = false;
            if (outcome != ResponseOutcome::Success) {
              OnCreateFailed(outcome);
              return;
            }
            path_ = CreatedPath(Bus(), creatingToken_, results);
            Listen(true);
            OnCreated(results);
          });
}

void PortalSession::Ask(const QString& method, const QVariantList& arguments,
                        const QVariantMap& options, Answer then) {
  if (request_) request_->Abandon();
  request_ = PortalRequest::Send(Bus(), interface_, method, arguments, options, this);
  connect(request_, &PortalRequest::Answered, this,
          [this, then = std::move(then)](ResponseOutcome outcome, const QVariantMap& results) {
            request_ = nullptr;
            then(outcome, results);
          });
}

void PortalSession::EndSession() {
  ++round_;
  wanted_.reset();
  if (request_) {
    if (creating_) {
      CloseOnceCreated(request_);
    } else {
      request_->Abandon();
    }
    request_ = nullptr;
    creating_ = false;
  }
  if (HasSession()) {
    Listen(false);
    SendClose(path_);
    path_.clear();
  }
}

void PortalSession::Listen(bool on) {
  const QString service = QLatin1String(kPortalService);
  const QString interface = QLatin1String(kSessionInterface);
  const QString name = QStringLiteral("Closed");
  QDBusConnection bus = Bus();
  if (on) {
    bus.connect(service, path_, interface, name, this, SLOT(OnClosed(QDBusMessage)));
  } else {
    bus.disconnect(service, path_, interface, name, this, SLOT(OnClosed(QDBusMessage)));
  }
}

void PortalSession::SendClose(const QString& path) {
  ++closing_;
  // Nobody waits for the session itself; the next one waits for this.
  auto* watcher = new QDBusPendingCallWatcher(Bus().asyncCall(CloseCall(path)), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
    w->deleteLater();
    CloseAnswered();
  });
}

void PortalSession::CloseOnceCreated(PortalRequest* create) {
  ++closing_;
  // The request now belongs to the connection, which outlives this object:
  // the session is closed when its handle comes, whoever is left to hear.
  QObject::disconnect(create, nullptr, this, nullptr);
  create->setParent(connection_.get());
  PortalConnection* owner = connection_.get();
  const QString token = creatingToken_;
  QPointer<PortalSession> self(this);
  connect(create, &PortalRequest::Answered, owner,
          [owner, token, self](ResponseOutcome outcome, const QVariantMap& results) {
            if (outcome != ResponseOutcome::Success) {
              if (self) self->CloseAnswered();
              return;
            }
            const QDBusConnection& bus = owner->Bus();
            auto* watcher = new QDBusPendingCallWatcher(
                bus.asyncCall(CloseCall(CreatedPath(bus, token, results))), owner);
            QObject::connect(watcher, &QDBusPendingCallWatcher::finished, owner,
                             [self](QDBusPendingCallWatcher* w) {
                               w->deleteLater();
                               if (self) self->CloseAnswered();
                             });
          });
}

void PortalSession::CloseAnswered() {
  --closing_;
  TryCreate();
}

void PortalSession::OnClosed(const QDBusMessage& message) {
  if (!HasSession() || message.path() != path_) return;
  ++round_;
  Listen(false);
  path_.clear();
  if (request_) request_->Abandon();
  request_ = nullptr;
  OnClosedByDesktop();
}

}  // namespace snapwick::portal
