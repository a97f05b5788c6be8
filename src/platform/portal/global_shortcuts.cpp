#include "platform/portal/global_shortcuts.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include "platform/portal/portal_request.h"
#include "platform/portal/shortcut_list.h"
#include "platform/portal/shortcut_trigger.h"

namespace snapwick::portal {

namespace {

constexpr char kInterface[] = "org.freedesktop.portal.GlobalShortcuts";
constexpr char kDescription[] = "Snapwick: save a picture of the screen";

}  // namespace

GlobalShortcutsSession::GlobalShortcutsSession(const QDBusConnection& bus, const QString& token,
                                               QObject* parent)
    : QObject(parent), bus_(bus), token_(token) {
  RegisterShortcutTypes();
  const QString service = QLatin1String(kPortalService);
  const QString path = QLatin1String(kPortalPath);
  const QString interface = QLatin1String(kInterface);
  bus_.connect(service, path, interface, QStringLiteral("Activated"), this,
               SLOT(OnActivated(QDBusMessage)));
  bus_.connect(service, path, interface, QStringLiteral("Deactivated"), this,
               SLOT(OnDeactivated(QDBusMessage)));
  bus_.connect(service, path, interface, QStringLiteral("ShortcutsChanged"), this,
               SLOT(OnShortcutsChanged(QDBusMessage)));
}

GlobalShortcutsSession::~GlobalShortcutsSession() {
  destroying_ = true;
  Close();
}

Status GlobalShortcutsSession::Bind(int virtualKey) {
  const auto trigger = TriggerOf(virtualKey);
  if (!trigger) return Status::Failed;
  requested_ = QString::fromLatin1(trigger->data(), static_cast<qsizetype>(trigger->size()));
  trigger_.clear();
  // A session being made still keeps the id it was asked with.
  if (state_ != State::Creating) shortcutId_ = QStringLiteral("shot_") + requested_;
  switch (state_) {
    case State::Idle:
      CreateSession();
      break;
    case State::Closing:
      createAfterClose_ = true;
      break;
    case State::Creating:
      // Its answer decides: the session it makes is closed at once and a
      // new one asked for with this key.
      createAfterClose_ = true;
      break;
    case State::Open:
      SendClose(true);
      break;
  }
  return Status::Ok;
}

void GlobalShortcutsSession::Close() {
  createAfterClose_ = false;
  StopListening();
  if (state_ == State::Open || state_ == State::Creating) {
    // Nobody waits for the answer: the session is ours no more.
    bus_.asyncCall(QDBusMessage::createMethodCall(QLatin1String(kPortalService), sessionPath_,
                                                  QLatin1String(kSessionInterface),
                                                  QStringLiteral("Close")));
  }
  if (!sessionPath_.isEmpty()) {
    bus_.disconnect(QLatin1String(kPortalService), sessionPath_, QLatin1String(kSessionInterface),
                    QStringLiteral("Closed"), this, SLOT(OnSessionClosed(QDBusMessage)));
  }
  sessionPath_.clear();
  state_ = State::Idle;
  ReleaseIfDown();
}

void GlobalShortcutsSession::CreateSession() {
  createAfterClose_ = false;
  shortcutId_ = QStringLiteral("shot_") + requested_;
  state_ = State::Creating;
  sessionPath_ = SessionPath(bus_, token_);
  const QString handle = NextRequestToken();
  const ShortcutList shortcuts{{shortcutId_,
                                {{QStringLiteral("description"), QLatin1String(kDescription)},
                                 {QStringLiteral("preferred_trigger"), requested_}}}};
  const QVariantMap options{{QStringLiteral("handle_token"), handle},
                            {QStringLiteral("session_handle_token"), token_},
                            {QStringLiteral("shortcuts"), ToDBus(shortcuts)}};
  if (!Ask(Pending::Create, QStringLiteral("CreateSession"), {options}, handle)) Fail();
}

void GlobalShortcutsSession::SendClose(bool createAfterwards) {
  StopListening();
  ReleaseIfDown();
  state_ = State::Closing;
  createAfterClose_ = createAfterwards;
  bus_.disconnect(QLatin1String(kPortalService), sessionPath_, QLatin1String(kSessionInterface),
                  QStringLiteral("Closed"), this, SLOT(OnSessionClosed(QDBusMessage)));
  // The same token names the next session, so it may be asked for only
  // once this one is gone.
  auto* watcher =
      new QDBusPendingCallWatcher(bus_.asyncCall(QDBusMessage::createMethodCall(
                                      QLatin1String(kPortalService), sessionPath_,
                                      QLatin1String(kSessionInterface), QStringLiteral("Close"))),
                                  this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
    w->deleteLater();
    if (state_ != State::Closing) return;
    sessionPath_.clear();
    state_ = State::Idle;
    if (createAfterClose_) CreateSession();
  });
}

bool GlobalShortcutsSession::Ask(Pending what, const QString& method, const QVariantList& arguments,
                                 const QString& token) {
  // Listening before asking: the answer may come before the call returns.
  ListenForResponse(RequestPath(bus_, token));
  pending_ = what;
  auto call = QDBusMessage::createMethodCall(
      QLatin1String(kPortalService), QLatin1String(kPortalPath), QLatin1String(kInterface), method);
  call.setArguments(arguments);
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
  const QString expected = requestPath_;
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, expected](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            if (requestPath_ != expected) return;  // a later call took over
            QDBusPendingReply<QDBusObjectPath> reply = *w;
            if (reply.isError()) {
              Fail();
              return;
            }
            // An old front end may answer on a path of its own choosing.
            if (reply.value().path() != expected) ListenForResponse(reply.value().path());
          });
  return bus_.isConnected();
}

void GlobalShortcutsSession::ListenForResponse(const QString& path) {
  StopListening();
  requestPath_ = path;
  bus_.connect(QLatin1String(kPortalService), requestPath_, QLatin1String(kRequestInterface),
               QStringLiteral("Response"), this, SLOT(OnResponse(QDBusMessage)));
}

void GlobalShortcutsSession::StopListening() {
  if (requestPath_.isEmpty()) return;
  bus_.disconnect(QLatin1String(kPortalService), requestPath_, QLatin1String(kRequestInterface),
                  QStringLiteral("Response"), this, SLOT(OnResponse(QDBusMessage)));
  requestPath_.clear();
  pending_ = Pending::None;
}

void GlobalShortcutsSession::OnResponse(const QDBusMessage& message) {
  const QVariantList args = message.arguments();
  if (message.path() != requestPath_) return;
  const Pending what = pending_;
  StopListening();
  if (args.size() != 2 || !args[0].canConvert<uint>()) {
    Fail();
    return;
  }
  const ResponseOutcome outcome = OutcomeOf(args[0].toUInt());
  const QVariantMap results = qdbus_cast<QVariantMap>(args[1]);
  switch (what) {
    case Pending::Create:
      if (outcome != ResponseOutcome::Success) {
        Fail();
        return;
      }
      OnCreated(results);
      break;
    case Pending::List:
      if (outcome == ResponseOutcome::Success &&
          ReportTrigger(results.value(QStringLiteral("shortcuts")))) {
        return;
      }
      // The desktop did not take the shortcut from CreateSession: ask the
      // way the final interface has it (a desktop may show a dialog).
      {
        const QString handle = NextRequestToken();
        const ShortcutList shortcuts{{shortcutId_,
                                      {{QStringLiteral("description"), QLatin1String(kDescription)},
                                       {QStringLiteral("preferred_trigger"), requested_}}}};
        if (!Ask(Pending::Bind, QStringLiteral("BindShortcuts"),
                 {QVariant::fromValue(QDBusObjectPath(sessionPath_)), ToDBus(shortcuts), QString(),
                  QVariantMap{{QStringLiteral("handle_token"), handle}}},
                 handle)) {
          Fail();
        }
      }
      break;
    case Pending::Bind:
      // A cancelled dialog leaves the session open with no key: the
      // program says so instead of waiting for presses that cannot come.
      if (outcome != ResponseOutcome::Success ||
          !ReportTrigger(results.value(QStringLiteral("shortcuts")))) {
        trigger_.clear();
        emit TriggerReported(trigger_);
      }
      break;
    case Pending::None:
      break;
  }
}

void GlobalShortcutsSession::OnCreated(const QVariantMap& results) {
  const QString handle = results.value(QStringLiteral("session_handle")).toString();
  if (!handle.isEmpty()) sessionPath_ = handle;
  state_ = State::Open;
  bus_.connect(QLatin1String(kPortalService), sessionPath_, QLatin1String(kSessionInterface),
               QStringLiteral("Closed"), this, SLOT(OnSessionClosed(QDBusMessage)));
  if (createAfterClose_) {
    SendClose(true);
    return;
  }
  const QString token = NextRequestToken();
  if (!Ask(Pending::List, QStringLiteral("ListShortcuts"),
           {QVariant::fromValue(QDBusObjectPath(sessionPath_)),
            QVariantMap{{QStringLiteral("handle_token"), token}}},
           token)) {
    Fail();
  }
}

bool GlobalShortcutsSession::ReportTrigger(const QVariant& shortcuts) {
  const auto list = ShortcutsFrom(shortcuts);
  if (!list) return false;
  for (const ShortcutEntry& entry : *list) {
    if (entry.id != shortcutId_) continue;
    trigger_ = entry.properties.value(QStringLiteral("trigger_description")).toString();
    emit TriggerReported(trigger_);
    return true;
  }
  return false;
}

bool GlobalShortcutsSession::IsOurs(const QDBusMessage& message) const {
  const QVariantList args = message.arguments();
  if (state_ != State::Open || args.size() < 2) return false;
  return qdbus_cast<QDBusObjectPath>(args[0]).path() == sessionPath_ &&
         args[1].toString() == shortcutId_;
}

void GlobalShortcutsSession::OnActivated(const QDBusMessage& message) {
  if (!IsOurs(message) || down_) return;
  down_ = true;
  emit Pressed();
}

void GlobalShortcutsSession::OnDeactivated(const QDBusMessage& message) {
  // A release with no press before it (the key went down before the
  // session began) is not the program's to report.
  if (!IsOurs(message) || !down_) return;
  down_ = false;
  emit Released();
}

void GlobalShortcutsSession::OnShortcutsChanged(const QDBusMessage& message) {
  const QVariantList args = message.arguments();
  if (state_ != State::Open || args.size() != 2 ||
      qdbus_cast<QDBusObjectPath>(args[0]).path() != sessionPath_) {
    return;
  }
  ReportTrigger(args[1]);
}

void GlobalShortcutsSession::OnSessionClosed(const QDBusMessage& message) {
  if (message.path() != sessionPath_ || state_ != State::Open) return;
  bus_.disconnect(QLatin1String(kPortalService), sessionPath_, QLatin1String(kSessionInterface),
                  QStringLiteral("Closed"), this, SLOT(OnSessionClosed(QDBusMessage)));
  sessionPath_.clear();
  Fail();
}

void GlobalShortcutsSession::Fail() {
  StopListening();
  if (state_ == State::Open && !sessionPath_.isEmpty()) {
    // A session that failed halfway would keep the key from applications.
    bus_.disconnect(QLatin1String(kPortalService), sessionPath_, QLatin1String(kSessionInterface),
                    QStringLiteral("Closed"), this, SLOT(OnSessionClosed(QDBusMessage)));
    bus_.asyncCall(QDBusMessage::createMethodCall(QLatin1String(kPortalService), sessionPath_,
                                                  QLatin1String(kSessionInterface),
                                                  QStringLiteral("Close")));
  }
  sessionPath_.clear();
  state_ = State::Idle;
  trigger_.clear();
  ReleaseIfDown();
  emit Ended();
}

void GlobalShortcutsSession::ReleaseIfDown() {
  if (!down_) return;
  down_ = false;
  if (!destroying_) emit Released();
}

}  // namespace snapwick::portal
