#pragma once
// The hotkey as a desktop shortcut, through the GlobalShortcuts portal: on
// Wayland no program sees another's keys, so the desktop binds the key and
// reports its press and release. A bound key does not reach the focused
// application while the session lasts.
//
// Desktops differ in where they take the shortcut (ShortcutFlow), and an
// answer's code does not say whether the key works: the key in force is
// read from what the desktop lists as bound (BindShortcuts' results, else
// ListShortcuts, then ShortcutsChanged). A key changed later needs a new
// session, since a desktop may bind only once per session or read the
// shortcut only at creation; it is asked for once any pending BindShortcuts
// is answered, because a desktop's dialog may outlive the closed session
// and bind the old key. The shortcut's id names its key ("shot_F9"): the
// desktops ask the user only about a shortcut id they do not know, and
// keep the key first stored for an id.
//
// The session's token is the same every run and the program's own: where
// the program has no id, the desktop files the shortcut under it. Signals
// are taken only for this session's handle and shortcut id. Everything
// happens on the Qt event loop of the thread that owns the object; no call
// waits for the desktop.

#include <QDBusMessage>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/portal/portal_session.h"
#include "platform/status.h"

namespace snapwick::portal {

enum class ShortcutFlow : std::uint8_t {
  // The shortcut in CreateSession's options; BindShortcuts only where the
  // list shows it was not taken (Plasma 5).
  FromCreateSession,
  // BindShortcuts once in every session (the final interface).
  BindInEachSession,
};

// Plasma 5 (`desktops` names KDE, KDE_SESSION_VERSION is 5 or less) takes
// the shortcut from CreateSession; every other desktop from BindShortcuts.
ShortcutFlow ShortcutFlowFor(const QStringList& desktops, const QString& kdeSessionVersion);

class GlobalShortcutsSession : public PortalSession {
  Q_OBJECT

 public:
  // `token` is used as the session's handle token.
  GlobalShortcutsSession(std::shared_ptr<PortalConnection> connection, const QString& token,
                         ShortcutFlow flow, QObject* parent = nullptr);
  // Closes the session, so that the key reaches applications again.
  ~GlobalShortcutsSession() override;

  // Asks for `virtualKey` as the shortcut, in a new session (an open one
  // is closed first), once the desktop has answered a BindShortcuts still
  // pending (its dialog may be up). Failed at once when the key has no
  // trigger text (a bare modifier); otherwise the outcome arrives as
  // TriggerReported or Ended.
  Status Bind(int virtualKey);
  // Closes the session; no signal of it arrives after this.
  void Close();

  bool IsOpen() const { return HasSession(); }
  // The desktop's own text for the key in force ("F8"), as it last said;
  // empty when it named none or has not answered yet.
  const QString& Trigger() const { return trigger_; }
  // What the program asked for ("F8"), in the XDG shortcuts format.
  const QString& RequestedTrigger() const { return requested_; }
  // The one shortcut's id in the session: "shot_" and the requested key.
  const QString& ShortcutId() const { return shortcutId_; }

 signals:
  // The key went down, or the desktop reported it down again while held
  // (the keyboard's repeat, every ~30 ms on GNOME and KWin 6). A release
  // always follows: a session that ends while the key is down reports it.
  void Pressed();
  void Released();
  // The desktop's answer to what is bound: after Bind, and whenever the
  // user changes the shortcut. Empty when the shortcut has no key.
  void TriggerReported(const QString& trigger);
  // The session could not be made (or the program could not name itself
  // to the portal), or the desktop closed it; Bind again to try anew.
  void Ended();

 private slots:
  // The portal's signals, each checked for its arguments here, since a
  // signal of another signature would otherwise just never arrive.
  void OnActivated(const QDBusMessage& message);
  void OnDeactivated(const QDBusMessage& message);
  void OnShortcutsChanged(const QDBusMessage& message);

 private:
  void OnCreated(const QVariantMap& results) override;
  void OnCreateFailed(ResponseOutcome outcome) override;
  void OnClosedByDesktop() override;

  void BindNow(int virtualKey);
  // Binds the key that waited for the desktop's dialog, if one did.
  bool BindWaitingKey();
  QVariant Shortcuts() const;
  void AskToBind();
  // Reads the list; `unlisted` runs when it does not show the shortcut.
  void AskToList(void (GlobalShortcutsSession::*unlisted)());
  void ReportNoKey();
  // Whether the desktop listed our shortcut; reports its trigger if so.
  bool ReportTrigger(const QVariant& shortcuts);
  void Fail();
  bool IsOurs(const QDBusMessage& message) const;
  void ReleaseIfDown();

  QString token_;
  ShortcutFlow flow_;
  QString shortcutId_;
  QString requested_;
  QString trigger_;
  bool down_ = false;
  bool destroying_ = false;
  bool dialogUp_ = false;  // BindShortcuts asked and not answered yet
  std::optional<int> waitingKey_;
};

}  // namespace snapwick::portal
