#include "platform/portal/screen_cast.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace snapwick::portal {

namespace {

constexpr char kInterface[] = "org.freedesktop.portal.ScreenCast";
constexpr std::uint32_t kMonitor = 1;
constexpr std::uint32_t kCursorHidden = 1;
// Remembered until the user revokes it, not only for this run: a tray
// program starts with every session, and a chooser at each login is what
// users of such programs complain of.
constexpr std::uint32_t kPersistUntilRevoked = 2;

}  // namespace

std::optional<CastStream> FirstStream(const QVariant& streams) {
  if (!streams.canConvert<QDBusArgument>()) return std::nullopt;
  const auto argument = streams.value<QDBusArgument>();
  if (argument.currentSignature() != QLatin1String("a(ua{sv})")) return std::nullopt;
  std::optional<CastStream> first;
  argument.beginArray();
  while (!argument.atEnd()) {
    std::uint32_t node = 0;
    QVariantMap properties;
    argument.beginStructure();
    argument >> node >> properties;
    argument.endStructure();
    if (first) continue;
    CastStream stream;
    stream.node = node;
    const QVariant size = properties.value(QStringLiteral("size"));
    if (size.canConvert<QDBusArgument>()) {
      const auto pair = size.value<QDBusArgument>();
      if (pair.currentSignature() == QLatin1String("(ii)")) {
        int width = 0;
        int height = 0;
        pair.beginStructure();
        pair >> width >> height;
        pair.endStructure();
        if (width > 0 && height > 0) stream.size = QSize(width, height);
      }
    }
    first = stream;
  }
  argument.endArray();
  return first;
}

ScreenCastSession::ScreenCastSession(std::shared_ptr<PortalConnection> connection, QObject* parent)
    : PortalSession(std::move(connection), kInterface, parent) {
  qRegisterMetaType<CastStream>();
}

ScreenCastSession::~ScreenCastSession() {
  destroying_ = true;
  Close();
}

void ScreenCastSession::Start(const QString& restoreToken) {
  if (state_ != State::Idle) return;
  state_ = State::Starting;
  restoreToken_ = restoreToken;
  CreateSession(NextRequestToken(), {});
}

void ScreenCastSession::Close() {
  EndSession();
  state_ = State::Idle;
}

void ScreenCastSession::Step(const QString& method, const QVariantList& arguments,
                             const QVariantMap& options,
                             void (ScreenCastSession::*next)(const QVariantMap&)) {
  Ask(method, arguments, options,
      [this, next](ResponseOutcome outcome, const QVariantMap& results) {
        if (outcome != ResponseOutcome::Success) {
          Fail(outcome);
          return;
        }
        (this->*next)(results);
      });
}

void ScreenCastSession::OnCreated(const QVariantMap& results) {
  // The front end hands the session's path over as a string; one that
  // names none has made none this program could use.
  if (results.value(QStringLiteral("session_handle")).toString().isEmpty()) {
    Fail(ResponseOutcome::Failed);
    return;
  }
  QVariantMap options{{QStringLiteral("types"), kMonitor},
                      {QStringLiteral("multiple"), false},
                      {QStringLiteral("cursor_mode"), kCursorHidden},
                      {QStringLiteral("persist_mode"), kPersistUntilRevoked}};
  if (!restoreToken_.isEmpty()) options.insert(QStringLiteral("restore_token"), restoreToken_);
  Step(QStringLiteral("SelectSources"), {QVariant::fromValue(QDBusObjectPath(SessionPath()))},
       options, &ScreenCastSession::OnSourcesSelected);
}

void ScreenCastSession::OnSourcesSelected(const QVariantMap&) {
  Step(QStringLiteral("Start"), {QVariant::fromValue(QDBusObjectPath(SessionPath())), QString()},
       {}, &ScreenCastSession::OnStarted);
}

void ScreenCastSession::OnStarted(const QVariantMap& results) {
  const auto stream = FirstStream(results.value(QStringLiteral("streams")));
  if (!stream) {
    Fail(ResponseOutcome::Failed);
    return;
  }
  emit RestoreTokenIssued(results.value(QStringLiteral("restore_token")).toString());
  auto call = QDBusMessage::createMethodCall(QLatin1String(kPortalService),
                                             QLatin1String(kPortalPath), QLatin1String(kInterface),
                                             QStringLiteral("OpenPipeWireRemote"));
  const QString session = SessionPath();
  call.setArguments({QVariant::fromValue(QDBusObjectPath(session)), QVariantMap{}});
  auto* watcher = new QDBusPendingCallWatcher(Bus().asyncCall(call), this);
  const CastStream started = *stream;
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, started, session](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            // A remote for a session closed meanwhile is no one's.
            if (state_ != State::Starting || SessionPath() != session) return;
            QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
            if (reply.isError() || !reply.value().isValid()) {
              Fail(ResponseOutcome::Failed);
              return;
            }
            state_ = State::Open;
            emit Started(reply.value(), started);
          });
}

void ScreenCastSession::OnCreateFailed(ResponseOutcome outcome) { Fail(outcome); }

void ScreenCastSession::OnClosedByDesktop() {
  const bool wasOpen = state_ == State::Open;
  state_ = State::Idle;
  if (wasOpen) {
    emit Ended();
  } else {
    emit StartFailed(ResponseOutcome::Failed);
  }
}

void ScreenCastSession::Fail(ResponseOutcome outcome) {
  Close();
  if (!destroying_) emit StartFailed(outcome);
}

}  // namespace snapwick::portal
