#include "platform/portal/global_shortcuts.h"

#include <QDBusObjectPath>

#include "platform/portal/shortcut_list.h"
#include "platform/portal/shortcut_trigger.h"

namespace snapwick::portal {

namespace {

constexpr char kInterface[] = "org.freedesktop.portal.GlobalShortcuts";
constexpr char kDescription[] = "Snapwick: save a picture of the screen";

}  // namespace

ShortcutFlow ShortcutFlowFor(const QStringList& desktops, const QString& kdeSessionVersion) {
  bool number = false;
  const int version = kdeSessionVersion.toInt(&number);
  const bool plasma5 = desktops.contains(QStringLiteral("KDE"), Qt::CaseInsensitive) && number &&
                       version > 0 && version <= 5;
  return plasma5 ? ShortcutFlow::FromCreateSession : ShortcutFlow::BindInEachSession;
}

GlobalShortcutsSession::GlobalShortcutsSession(std::shared_ptr<PortalConnection> connection,
                                               const QString& token, ShortcutFlow flow,
                                               QObject* parent)
    : PortalSession(std::move(connection), kInterface, parent), token_(token), flow_(flow) {
  RegisterShortcutTypes();
  const QString service = QLatin1String(kPortalService);
  const QString path = QLatin1String(kPortalPath);
  const QString interface = QLatin1String(kInterface);
  QDBusConnection bus = Bus();
  bus.connect(service, path, interface, QStringLiteral("Activated"), this,
              SLOT(OnActivated(QDBusMessage)));
  bus.connect(service, path, interface, QStringLiteral("Deactivated"), this,
              SLOT(OnDeactivated(QDBusMessage)));
  bus.connect(service, path, interface, QStringLiteral("ShortcutsChanged"), this,
              SLOT(OnShortcutsChanged(QDBusMessage)));
}

GlobalShortcutsSession::~GlobalShortcutsSession() {
  destroying_ = true;
  Close();
}

Status GlobalShortcutsSession::Bind(int virtualKey) {
  if (!TriggerOf(virtualKey)) return Status::Failed;
  if (dialogUp_) {
    // The desktop may be showing its dialog for the key before; GNOME keeps
    // it up whatever the program says (Request.Close, Session.Close), and
    // its Add would still bind that key. The new key waits for the answer.
    waitingKey_ = virtualKey;
    ReleaseIfDown();
    return Status::Ok;
  }
  BindNow(virtualKey);
  return Status::Ok;
}

void GlobalShortcutsSession::BindNow(int virtualKey) {
  waitingKey_.reset();
  const auto trigger = TriggerOf(virtualKey);
  // The key held in the session that ends now is let go.
  ReleaseIfDown();
  requested_ = QString::fromLatin1(trigger->data(), static_cast<qsizetype>(trigger->size()));
  trigger_.clear();
  shortcutId_ = QStringLiteral("shot_") + requested_;
  QVariantMap options;
  if (flow_ == ShortcutFlow::FromCreateSession) {
    options.insert(QStringLiteral("shortcuts"), Shortcuts());
  }
  CreateSession(token_, options);
}

bool GlobalShortcutsSession::BindWaitingKey() {
  if (!waitingKey_) return false;
  BindNow(*waitingKey_);
  return true;
}

void GlobalShortcutsSession::Close() {
  waitingKey_.reset();
  dialogUp_ = false;
  EndSession();
  ReleaseIfDown();
}

QVariant GlobalShortcutsSession::Shortcuts() const {
  return ToDBus({{shortcutId_,
                  {{QStringLiteral("description"), QLatin1String(kDescription)},
                   {QStringLiteral("preferred_trigger"), requested_}}}});
}

void GlobalShortcutsSession::OnCreated(const QVariantMap&) {
  if (flow_ == ShortcutFlow::FromCreateSession) {
    // Taken from the options, or not: ask the final interface's way only
    // then (a desktop may show a dialog).
    AskToList(&GlobalShortcutsSession::AskToBind);
  } else {
    AskToBind();
  }
}

void GlobalShortcutsSession::AskToBind() {
  dialogUp_ = true;
  Ask(QStringLiteral("BindShortcuts"),
      {QVariant::fromValue(QDBusObjectPath(SessionPath())), Shortcuts(), QString()}, {},
      [this](ResponseOutcome, const QVariantMap& results) {
        dialogUp_ = false;
        if (BindWaitingKey()) return;
        // Plasma 6 answers its dialog with no list; a cancelled dialog, or
        // a desktop that would not bind, leaves the session with no key,
        // which the program says instead of waiting for presses that
        // cannot come.
        if (ReportTrigger(results.value(QStringLiteral("shortcuts")))) return;
        AskToList(&GlobalShortcutsSession::ReportNoKey);
      });
}

void GlobalShortcutsSession::AskToList(void (GlobalShortcutsSession::*unlisted)()) {
  Ask(QStringLiteral("ListShortcuts"), {QVariant::fromValue(QDBusObjectPath(SessionPath()))}, {},
      [this, unlisted](ResponseOutcome outcome, const QVariantMap& results) {
        if (outcome == ResponseOutcome::Success &&
            ReportTrigger(results.value(QStringLiteral("shortcuts")))) {
          return;
        }
        (this->*unlisted)();
      });
}

void GlobalShortcutsSession::ReportNoKey() {
  trigger_.clear();
  emit TriggerReported(trigger_);
}

void GlobalShortcutsSession::OnCreateFailed(ResponseOutcome) { Fail(); }

void GlobalShortcutsSession::OnClosedByDesktop() {
  dialogUp_ = false;
  // The session of the key before went; the key waiting is asked for now.
  if (BindWaitingKey()) return;
  Fail();
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
  // The key before is no longer the program's once another was asked for.
  if (!HasSession() || waitingKey_ || args.size() != 4) return false;
  return qdbus_cast<QDBusObjectPath>(args[0]).path() == SessionPath() &&
         args[1].toString() == shortcutId_;
}

void GlobalShortcutsSession::OnActivated(const QDBusMessage& message) {
  if (!IsOurs(message)) return;
  // A repeat is reported like the press: it tells that the key is still
  // held, and the program does not take it for a new press.
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
  if (!HasSession() || waitingKey_ || args.size() != 2 ||
      qdbus_cast<QDBusObjectPath>(args[0]).path() != SessionPath()) {
    return;
  }
  ReportTrigger(args[1]);
}

void GlobalShortcutsSession::Fail() {
  dialogUp_ = false;
  // A session that failed halfway would keep the key from applications.
  EndSession();
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
