#pragma once
// The hotkey as a desktop shortcut, through the GlobalShortcuts portal: on
// Wayland no program sees another's keys, so the desktop binds the key and
// reports its press and release. A bound key no longer reaches the focused
// application while the session lasts.
//
// Plasma 5.27 takes the shortcuts only from CreateSession's options (its
// BindShortcuts opens System Settings instead); desktops that follow the
// final interface take them from BindShortcuts. So the shortcut goes with
// CreateSession, ListShortcuts tells whether the desktop took it, and only
// where it did not is BindShortcuts asked. A key changed later means a new
// session, since 5.27 reads the options at creation only; and the shortcut
// is named after its key ("shot_F9"), because KDE keeps the key it first
// stored for a shortcut id and takes a later preferred trigger for the same
// id as a mere default: rebinding "shot" from F8 to F9 left F8 in force.
//
// A program started from a folder has no app id, so the desktop names the
// shortcut after the session's token: it must stay the same from run to
// run (or every run would leave one more shortcut behind in the desktop's
// settings) and be the program's own. Signals are taken only for this
// session's handle and shortcut id.
//
// Everything happens on the Qt event loop of the thread that owns the
// object; no call waits for the desktop.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <cstdint>

#include "platform/portal/portal_request.h"
#include "platform/status.h"

namespace snapwick::portal {

class GlobalShortcutsSession : public QObject {
  Q_OBJECT

 public:
  // `token` is used as the session's handle token.
  GlobalShortcutsSession(const QDBusConnection& bus, const QString& token,
                         QObject* parent = nullptr);
  // Closes the session, so that the key reaches applications again.
  ~GlobalShortcutsSession() override;

  // Asks for `virtualKey` as the shortcut, in a new session (an open one
  // is closed first). Failed at once when the key has no trigger text (a
  // bare modifier); otherwise the outcome arrives as TriggerReported or
  // Ended.
  Status Bind(int virtualKey);
  // Closes the session; no signal of it arrives after this.
  void Close();

  bool IsOpen() const { return state_ == State::Open; }
  // The desktop's own text for the key in force ("F8"), as it last said;
  // empty when it named none or has not answered yet.
  const QString& Trigger() const { return trigger_; }
  // What the program asked for ("F8"), in the XDG shortcuts format.
  const QString& RequestedTrigger() const { return requested_; }
  // The one shortcut's id in the session: "shot_" and the requested key.
  const QString& ShortcutId() const { return shortcutId_; }

 signals:
  // The key went down or up. A release always follows a press: a session
  // that ends while the key is down reports the release.
  void Pressed();
  void Released();
  // The desktop's answer to what is bound: after Bind, and whenever the
  // user changes the shortcut. Empty when the shortcut has no key.
  void TriggerReported(const QString& trigger);
  // The session could not be made, or the desktop closed it; Bind again to
  // try anew.
  void Ended();

 private slots:
  // The portal's signals, each checked for its arguments here, since a
  // signal of another signature would otherwise just never arrive.
  void OnActivated(const QDBusMessage& message);
  void OnDeactivated(const QDBusMessage& message);
  void OnShortcutsChanged(const QDBusMessage& message);
  void OnSessionClosed(const QDBusMessage& message);

 private:
  enum class State : std::uint8_t { Idle, Closing, Creating, Open };
  enum class Pending : std::uint8_t { Create, List, Bind };

  void CreateSession();
  void Ask(Pending what, const QString& method, const QVariantList& arguments);
  void OnAnswer(Pending what, ResponseOutcome outcome, const QVariantMap& results);
  void OnCreated(const QVariantMap& results);
  void AskToBind();
  void SendClose(bool createAfterwards);
  void ForgetSession();
  // Whether the desktop listed our shortcut; reports its trigger if so.
  bool ReportTrigger(const QVariant& shortcuts);
  void Fail();
  bool IsOurs(const QDBusMessage& message) const;
  void ReleaseIfDown();

  QDBusConnection bus_;
  QString token_;
  QString shortcutId_;
  QString requested_;
  QString trigger_;
  QString sessionPath_;
  PortalRequest* request_ = nullptr;
  State state_ = State::Idle;
  bool down_ = false;
  bool createAfterClose_ = false;
  bool destroying_ = false;
};

}  // namespace snapwick::portal
