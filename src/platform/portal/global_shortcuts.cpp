#include "platform/portal/global_shortcuts.h"

#include <QDBusPendingCallWatcher>

#include "platform/portal/shortcut_list.h"
#include "platform/portal/shortcut_trigger.h"

namespace snapwick::portal {

namespace {

constexpr char kInterface[] = "org.freedesktop.portal.GlobalShortcuts";
constexpr char kDescription[] = "Snapwick: save a picture of the screen";

QDBusMessage SessionCall(const QString& sessionPath, const QString& method) {
  return QDBusMessage::createMethodCall(QLatin1String(kPortalService), sessionPath,
                                        QLatin1String(kSessionInterface), method);
}

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
  switch (state_) {
    case State::Idle:
      CreateSession();
      break;
    case State::Closing:
    case State::Creating:
      // The session being made is closed as soon as it exists, and a new
      // one asked for with this key.
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
  if (request_) request_->Abandon();
  request_ = nullptr;
  // Nobody waits for the answer: the session is ours no more.
  if (state_ == State::Open) bus_.asyncCall(SessionCall(sessionPath_, QStringLiteral("Close")));
  if (state_ == State::Creating) {
    // It may not exist yet; the desktop closes it when this connection
    // ends, and a new Bind closes it as soon as it is made.
    bus_.asyncCall(SessionCall(sessionPath_, QStringLiteral("Close")));
  }
  ForgetSession();
  state_ = State::Idle;
  ReleaseIfDown();
}

void GlobalShortcutsSession::CreateSession() {
  createAfterClose_ = false;
  state_ = State::Creating;
  shortcutId_ = QStringLiteral("shot_") + requested_;
  sessionPath_ = SessionPath(bus_, token_);
  const ShortcutList shortcuts{{shortcutId_,
                                {{QStringLiteral("description"), QLatin1String(kDescription)},
                                 {QStringLiteral("preferred_trigger"), requested_}}}};
  Ask(Pending::Create, QStringLiteral("CreateSession"),
      {QVariantMap{{QStringLiteral("session_handle_token"), token_},
                   {QStringLiteral("shortcuts"), ToDBus(shortcuts)}}});
}

void GlobalShortcutsSession::Ask(Pending what, const QString& method,
                                 const QVariantList& arguments) {
  QVariantList head = arguments;
  QVariantMap options;
  if (!head.isEmpty() && head.last().metaType() == QMetaType::fromType<QVariantMap>()) {
    options = head.takeLast().toMap();
  }
  request_ = PortalRequest::Send(bus_, QLatin1String(kInterface), method, head, options, this);
  connect(request_, &PortalRequest::Answered, this,
          [this, what](ResponseOutcome outcome, const QVariantMap& results) {
            request_ = nullptr;
            OnAnswer(what, outcome, results);
          });
}

void GlobalShortcutsSession::OnAnswer(Pending what, ResponseOutcome outcome,
                                      const QVariantMap& results) {
  switch (what) {
    case Pending::Create:
      if (outcome != ResponseOutcome::Success) {
        Fail();
        return;
      }
      OnCreated(results);
      break;
    case Pending::List:
      if (outcome != ResponseOutcome::Success ||
          !ReportTrigger(results.value(QStringLiteral("shortcuts")))) {
        // The desktop did not take the shortcut from CreateSession: ask the
        // way the final interface has it (a desktop may show a dialog).
        AskToBind();
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
  Ask(Pending::List, QStringLiteral("ListShortcuts"),
      {QVariant::fromValue(QDBusObjectPath(sessionPath_)), QVariantMap{}});
}

void GlobalShortcutsSession::AskToBind() {
  const ShortcutList shortcuts{{shortcutId_,
                                {{QStringLiteral("description"), QLatin1String(kDescription)},
                                 {QStringLiteral("preferred_trigger"), requested_}}}};
  Ask(Pending::Bind, QStringLiteral("BindShortcuts"),
      {QVariant::fromValue(QDBusObjectPath(sessionPath_)), ToDBus(shortcuts), QString(),
       QVariantMap{}});
}

void GlobalShortcutsSession::SendClose(bool createAfterwards) {
  if (request_) request_->Abandon();
  request_ = nullptr;
  ReleaseIfDown();
  const QString path = sessionPath_;
  ForgetSession();
  state_ = State::Closing;
  createAfterClose_ = createAfterwards;
  // The same token names the next session, so it may be asked for only
  // once this one is gone.
  auto* watcher =
      new QDBusPendingCallWatcher(bus_.asyncCall(SessionCall(path, QStringLiteral("Close"))), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
    w->deleteLater();
    if (state_ != State::Closing) return;
    state_ = State::Idle;
    if (createAfterClose_) CreateSession();
  });
}

void GlobalShortcutsSession::ForgetSession() {
  if (!sessionPath_.isEmpty()) {
    bus_.disconnect(QLatin1String(kPortalService), sessionPath_, QLatin1String(kSessionInterface),
                    QStringLiteral("Closed"), this, SLOT(OnSessionClosed(QDBusMessage)));
  }
  sessionPath_.clear();
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
  if (state_ != State::Open || args.size() != 4) return false;
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
  ForgetSession();
  Fail();
}

void GlobalShortcutsSession::Fail() {
  if (request_) request_->Abandon();
  request_ = nullptr;
  if (state_ == State::Open && !sessionPath_.isEmpty()) {
    // A session that failed halfway would keep the key from applications.
    bus_.asyncCall(SessionCall(sessionPath_, QStringLiteral("Close")));
  }
  ForgetSession();
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
