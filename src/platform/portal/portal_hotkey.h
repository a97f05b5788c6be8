#pragma once
// The hotkey as the Linux platform watches it on a desktop that binds keys
// for programs through the GlobalShortcuts portal (KDE Plasma, GNOME 48
// and later, Hyprland): the session's presses and releases are the edges,
// and what the desktop says it bound is the key in force, told to the
// program whenever it is not the one asked for (another key, or none).
//
// Watch cannot know whether a key will fire: the desktop answers later. It
// gives Reported for any key the portal can name, and the program hears
// the desktop's answer as the key in force once it has spoken: the key, or
// none (a session that could not be made, a program the portal would not
// take by its id, a shortcut it did not take, a session it closed).

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/linux/session_parts.h"
#include "platform/portal/global_shortcuts.h"

namespace snapwick::portal {

// The part of the desktop's text for the key in force (KDE: Qt's name,
// "F8", "PgUp", "Num+5"; GNOME: a sentence, "Press F8"; others: the XDG
// form) that names the key asked for as an XDG trigger ("F8", "Prior",
// "KP_5"); nothing when it names another. Any modifier makes another key.
std::optional<QString> KeyNamed(const QString& requested, const QString& reported);
bool SameKey(const QString& requested, const QString& reported);

class PortalHotkeySource final : public linux::HotkeySource {
 public:
  // `token` names the session and, for a program without an app id, its
  // shortcut in the desktop's settings: the same one every run. `flow`:
  // how the desktop takes the shortcut.
  PortalHotkeySource(std::shared_ptr<PortalConnection> connection, const QString& token,
                     ShortcutFlow flow);
  // Closes the session: the key reaches applications again.
  ~PortalHotkeySource() override;

  void SetKeyHandler(KeyHandler onKey) override { onKey_ = std::move(onKey); }
  void SetBoundHandler(BoundHandler onBound) override { onBound_ = std::move(onBound); }
  HotkeyWatch Watch(int virtualKey) override;

  const GlobalShortcutsSession& Session() const { return session_; }

 private:
  void Edge(bool down);
  // The key in force is `key` (the trigger asked for when it is that one,
  // empty for none), which the desktop calls `words`: told unless it was
  // already since the last Watch.
  void ReportKeyInForce(const QString& key, const QString& words);

  GlobalShortcutsSession session_;
  QObject context_;  // the owner of the queued report of a key never bound
  KeyHandler onKey_;
  BoundHandler onBound_;
  bool inWatch_ = false;
  // The key the program was last told is in force; nothing since Watch.
  std::optional<QString> reportedKey_;
  std::uint64_t watches_ = 0;
};

}  // namespace snapwick::portal
