#include "platform/portal/desktop_backends.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTextStream>
#include <optional>

namespace snapwick::portal {

namespace {

struct Backend {
  QString name;  // the file's base name: "kde" for kde.portal
  QStringList interfaces;
  QStringList useIn;
};

QStringList ListValue(const QString& value) {
  QStringList items;
  for (const QString& item : value.split(u';', Qt::SkipEmptyParts)) {
    if (!item.trimmed().isEmpty()) items << item.trimmed();
  }
  return items;
}

// key=value lines of one [group]; QSettings would read ';' lists as one
// string and ',' as a list, which these files do not mean.
QMap<QString, QString> ReadGroup(const QString& path, const QString& group) {
  QMap<QString, QString> values;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return values;
  QTextStream in(&file);
  bool inGroup = false;
  while (!in.atEnd()) {
    const QString line = in.readLine().trimmed();
    if (line.isEmpty() || line.startsWith(u'#')) continue;
    if (line.startsWith(u'[')) {
      inGroup = line == QStringLiteral("[%1]").arg(group);
      continue;
    }
    const qsizetype eq = line.indexOf(u'=');
    if (inGroup && eq > 0) values.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
  }
  return values;
}

QList<Backend> ReadBackends(const QStringList& folders) {
  QList<Backend> backends;
  for (const QString& folder : folders) {
    const QDir dir(folder);
    for (const QString& entry : dir.entryList({QStringLiteral("*.portal")}, QDir::Files)) {
      const auto values = ReadGroup(dir.filePath(entry), QStringLiteral("portal"));
      backends.append({entry.chopped(7), ListValue(values.value(QStringLiteral("Interfaces"))),
                       ListValue(values.value(QStringLiteral("UseIn")))});
    }
  }
  return backends;
}

// The backends a portals.conf names for the interface; nothing where no
// such file speaks of it.
std::optional<QStringList> ConfiguredBackends(const QString& interface, const QStringList& desktops,
                                              const QStringList& configFolders) {
  QStringList names;
  for (const QString& desktop : desktops) {
    names << QStringLiteral("%1-portals.conf").arg(desktop.toLower());
  }
  names << QStringLiteral("portals.conf");
  for (const QString& folder : configFolders) {
    for (const QString& name : names) {
      const QString path = QDir(folder).filePath(name);
      if (!QFile::exists(path)) continue;
      const auto values = ReadGroup(path, QStringLiteral("preferred"));
      QString chosen = values.value(interface, values.value(QStringLiteral("default")));
      if (!chosen.isEmpty()) return ListValue(chosen);
    }
  }
  return std::nullopt;
}

bool Matches(const QStringList& useIn, const QStringList& desktops) {
  for (const QString& desktop : desktops) {
    if (useIn.contains(desktop, Qt::CaseInsensitive)) return true;
  }
  return false;
}

}  // namespace

BackendFiles SystemBackendFiles() {
  BackendFiles files;
  for (const QString& data :
       QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
    files.portalFolders << QDir(data).filePath(QStringLiteral("xdg-desktop-portal/portals"));
  }
  for (const QString& config :
       QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation)) {
    files.configFolders << QDir(config).filePath(QStringLiteral("xdg-desktop-portal"));
  }
  for (const QString& data :
       QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
    files.configFolders << QDir(data).filePath(QStringLiteral("xdg-desktop-portal"));
  }
  return files;
}

QStringList CurrentDesktops() {
  return qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts);
}

bool DesktopImplements(const QString& interface, const QStringList& desktops,
                       const BackendFiles& files) {
  const QList<Backend> backends = ReadBackends(files.portalFolders);
  const auto configured = ConfiguredBackends(interface, desktops, files.configFolders);
  for (const Backend& backend : backends) {
    if (!backend.interfaces.contains(interface)) continue;
    // "*" in a portals.conf hands the interface to any backend that has
    // it, the fallback this check is here to see through.
    const bool named = configured && configured->contains(backend.name);
    const bool byDesktop = (!configured || configured->contains(QStringLiteral("*"))) &&
                           Matches(backend.useIn, desktops);
    const bool chosen = named || byDesktop;
    if (chosen) return true;
  }
  return false;
}

}  // namespace snapwick::portal
