#include "platform/portal/portal_hotkey.h"

#include <QStringList>
#include <array>
#include <utility>

namespace snapwick::portal {

namespace {

// Qt's names, which KDE reports, for the keys whose XDG name differs from
// them by more than letter case.
constexpr std::array<std::pair<const char*, const char*>, 16> kQtNames{{
    {"Prior", "PgUp"},
    {"Next", "PgDown"},
    {"Escape", "Esc"},
    {"Delete", "Del"},
    {"Insert", "Ins"},
    {"Caps_Lock", "CapsLock"},
    {"Num_Lock", "NumLock"},
    {"Scroll_Lock", "ScrollLock"},
    {"KP_Multiply", "Num+*"},
    {"KP_Add", "Num++"},
    {"KP_Subtract", "Num+-"},
    {"KP_Divide", "Num+/"},
    {"KP_Decimal", "Num+."},
    {"KP_Begin", "Num+Clear"},
    {"semicolon", ";"},
    {"equal", "="},
}};

}  // namespace

std::optional<QString> KeyNamed(const QString& requested, const QString& reported) {
  if (requested.isEmpty()) return std::nullopt;
  QStringList names{requested};
  // "KP_5" is "Num+5" in Qt's words.
  if (requested.startsWith(QLatin1String("KP_")) && requested.size() == 4) {
    names << QLatin1String("Num+") + requested.back();
  }
  for (const auto& [xdg, qt] : kQtNames) {
    if (requested == QLatin1String(xdg)) names << QLatin1String(qt);
  }
  for (const QString& name : names) {
    if (reported.compare(name, Qt::CaseInsensitive) == 0) return reported;
    // GNOME puts the key in a sentence of the user's language: "Press F8",
    // "Нажмите F8" (and "Press F8 or F9" for two).
    if (reported.size() > name.size() + 1 &&
        reported.endsWith(QLatin1Char(' ') + name, Qt::CaseInsensitive)) {
      return reported.right(name.size());
    }
  }
  return std::nullopt;
}

bool SameKey(const QString& requested, const QString& reported) {
  return KeyNamed(requested, reported).has_value();
}

PortalHotkeySource::PortalHotkeySource(std::shared_ptr<PortalConnection> connection,
                                       const QString& token, ShortcutFlow flow)
    : session_(std::move(connection), token, flow) {
  QObject::connect(&session_, &GlobalShortcutsSession::Pressed, &context_, [this] { Edge(true); });
  QObject::connect(&session_, &GlobalShortcutsSession::Released, &context_,
                   [this] { Edge(false); });
  QObject::connect(&session_, &GlobalShortcutsSession::TriggerReported, &context_,
                   [this](const QString& trigger) {
                     const auto key = KeyNamed(session_.RequestedTrigger(), trigger);
                     ReportKeyInForce(key ? session_.RequestedTrigger() : trigger,
                                      key ? *key : trigger);
                   });
  // The desktop refused the session or closed it: no key fires any more.
  QObject::connect(&session_, &GlobalShortcutsSession::Ended, &context_,
                   [this] { ReportKeyInForce(QString(), QString()); });
}

PortalHotkeySource::~PortalHotkeySource() {
  // Nobody hears of the release of a key held now: the program is going.
  onKey_ = nullptr;
  onBound_ = nullptr;
  session_.Close();
}

HotkeyWatch PortalHotkeySource::Watch(int virtualKey) {
  ++watches_;
  // Closing or rebinding reports the release of a held key at once: inside
  // Watch that is no edge to raise (the program starts afresh with the new
  // key).
  inWatch_ = true;
  const bool bound = virtualKey != 0 && Succeeded(session_.Bind(virtualKey));
  if (!bound) session_.Close();
  inWatch_ = false;
  // The desktop's answer is told, whatever it is: until then the key is
  // not known to be in force.
  reportedKey_.reset();
  if (virtualKey != 0 && !bound) {
    // A key the portal has no name for (a bare modifier) never fires: told
    // from the event loop, unless another Watch came first.
    QMetaObject::invokeMethod(
        &context_,
        [this, watch = watches_] {
          if (watch == watches_) ReportKeyInForce(QString(), QString());
        },
        Qt::QueuedConnection);
  }
  return bound ? HotkeyWatch::Reported : HotkeyWatch::None;
}

void PortalHotkeySource::Edge(bool down) {
  if (inWatch_ || !onKey_) return;
  onKey_(down ? KeySeen::Down : KeySeen::Up);
}

void PortalHotkeySource::ReportKeyInForce(const QString& key, const QString& words) {
  if (key == reportedKey_) return;
  reportedKey_ = key;
  if (!onBound_) return;
  const QByteArray name = words.toUtf8();
  onBound_(std::string_view(name.constData(), static_cast<std::size_t>(name.size())));
}

}  // namespace snapwick::portal
