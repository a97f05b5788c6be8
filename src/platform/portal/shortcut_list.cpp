#include "platform/portal/shortcut_list.h"

#include <QDBusMetaType>

QDBusArgument& operator<<(QDBusArgument& argument, const snapwick::portal::ShortcutEntry& entry) {
  argument.beginStructure();
  argument << entry.id << entry.properties;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument,
                                snapwick::portal::ShortcutEntry& entry) {
  argument.beginStructure();
  argument >> entry.id >> entry.properties;
  argument.endStructure();
  return argument;
}

namespace snapwick::portal {

void RegisterShortcutTypes() {
  qDBusRegisterMetaType<ShortcutEntry>();
  qDBusRegisterMetaType<ShortcutList>();
}

QVariant ToDBus(const ShortcutList& shortcuts) {
  RegisterShortcutTypes();
  return QVariant::fromValue(shortcuts);
}

std::optional<ShortcutList> ShortcutsFrom(const QVariant& value) {
  if (!value.canConvert<QDBusArgument>()) return std::nullopt;
  const auto argument = value.value<QDBusArgument>();
  if (argument.currentSignature() != QLatin1String("a(sa{sv})")) return std::nullopt;
  ShortcutList list;
  argument >> list;
  return list;
}

}  // namespace snapwick::portal
