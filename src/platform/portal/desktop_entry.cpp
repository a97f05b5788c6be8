#include "platform/portal/desktop_entry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>
#include <QStandardPaths>

namespace snapwick::portal {

namespace {

constexpr char kGroup[] = "[Desktop Entry]";
// An entry is a few hundred bytes; anything much larger is not ours.
constexpr qint64 kLargestEntry = 64 * 1024;

bool HasControl(const QString& text) {
  for (const QChar c : text) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7f) return true;
  }
  return false;
}

// A string value: a backslash is written as two.
QString StringValue(const QString& text) {
  QString value = text;
  value.replace(u'\\', QLatin1String("\\\\"));
  return value;
}

// One quoted argument of Exec=: `"`, `` ` ``, `$` and `\` take a backslash
// inside the quotes and `%` is doubled (a field code otherwise); the value
// is then a string like any other, so each of those backslashes is doubled
// once more ("\\$" for a dollar sign).
QString ExecValue(const QString& path) {
  QString quoted;
  for (const QChar c : path) {
    if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') quoted += u'\\';
    quoted += c;
    if (c == u'%') quoted += u'%';
  }
  return StringValue(QStringLiteral("\"%1\"").arg(quoted));
}

QByteArray KeyOf(const QByteArray& line) {
  const qsizetype eq = line.indexOf('=');
  return eq < 0 ? QByteArray() : line.left(eq).trimmed();
}

}  // namespace

QString DesktopEntryName() { return QLatin1String(kAppId) + QLatin1String(".desktop"); }

QByteArray ShippedDesktopEntry() {
  QFile file(QStringLiteral(":/snapwick/") + DesktopEntryName());
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::optional<QByteArray> DesktopEntryFor(const QByteArray& shipped, const QString& executable,
                                          const QString& icon) {
  if (HasControl(executable) || HasControl(icon)) return std::nullopt;
  const QByteArray exec = "Exec=" + ExecValue(executable).toUtf8();
  const QByteArray iconLine = "Icon=" + StringValue(icon).toUtf8();
  QList<QByteArray> lines = shipped.split('\n');
  bool inGroup = false;
  bool execSet = false;
  bool iconSet = false;
  for (QByteArray& line : lines) {
    if (line.startsWith('[')) {
      inGroup = line.trimmed() == kGroup;
      continue;
    }
    if (!inGroup) continue;
    const QByteArray key = KeyOf(line);
    if (key == "Exec") {
      line = exec;
      execSet = true;
    } else if (key == "Icon") {
      line = iconLine;
      iconSet = true;
    }
  }
  // An entry that runs nothing, or another program, would name the wrong
  // one.
  if (!execSet || !iconSet) return std::nullopt;
  return lines.join('\n');
}

EntryWrite WriteDesktopEntry(const QString& path, const QByteArray& text) {
  QFile current(path);
  if (current.open(QIODevice::ReadOnly) && current.size() <= kLargestEntry &&
      current.readAll() == text) {
    return EntryWrite::Kept;
  }
  current.close();
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) return EntryWrite::Failed;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return EntryWrite::Failed;
  if (file.write(text) != text.size()) {
    file.cancelWriting();
    return EntryWrite::Failed;
  }
  return file.commit() ? EntryWrite::Written : EntryWrite::Failed;
}

QString UserApplicationsFolder() {
  return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
      .filePath(QStringLiteral("applications"));
}

EntryWrite EnsureOwnDesktopEntry() {
  const QString executable = QCoreApplication::applicationFilePath();
  const QString icon =
      QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(kIconFile));
  const auto text = DesktopEntryFor(ShippedDesktopEntry(), executable, icon);
  if (!text) return EntryWrite::Failed;
  return WriteDesktopEntry(QDir(UserApplicationsFolder()).filePath(DesktopEntryName()), *text);
}

}  // namespace snapwick::portal
