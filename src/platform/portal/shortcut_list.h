#pragma once
// The portal's list of shortcuts, a(sa{sv}): each an id and its
// properties (description, preferred_trigger; trigger_description in the
// desktop's answers).

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <optional>

namespace snapwick::portal {

struct ShortcutEntry {
  QString id;
  QVariantMap properties;
};
using ShortcutList = QList<ShortcutEntry>;

// Makes the list known to QtDBus; once is enough, more is harmless.
void RegisterShortcutTypes();

// A value to send: marshalled as a(sa{sv}) wherever it is put.
QVariant ToDBus(const ShortcutList& shortcuts);
// A list as the portal sent it (inside a{sv} or as a signal's argument);
// nothing when the value is not of that signature.
std::optional<ShortcutList> ShortcutsFrom(const QVariant& value);

}  // namespace snapwick::portal

Q_DECLARE_METATYPE(snapwick::portal::ShortcutEntry)

QDBusArgument& operator<<(QDBusArgument& argument, const snapwick::portal::ShortcutEntry& entry);
const QDBusArgument& operator>>(const QDBusArgument& argument,
                                snapwick::portal::ShortcutEntry& entry);
