#include "platform/portal/restore_token.h"

#include <QFile>
#include <QSaveFile>

namespace snapwick::portal {

namespace {

// Desktops give UUIDs; anything much longer is not a token of theirs.
constexpr qint64 kLongest = 256;

bool LooksLikeToken(const QByteArray& bytes) {
  if (bytes.isEmpty() || bytes.size() > kLongest) return false;
  for (const char c : bytes) {
    if (c < 0x21 || c > 0x7E) return false;
  }
  return true;
}

}  // namespace

QString LoadRestoreToken(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray bytes = file.read(kLongest + 2).trimmed();
  return LooksLikeToken(bytes) ? QString::fromLatin1(bytes) : QString();
}

Status SaveRestoreToken(const QString& path, const QString& token) {
  if (token.isEmpty()) return StatusOf(!QFile::exists(path) || QFile::remove(path));
  for (const QChar c : token) {
    if (c.unicode() > 0x7E) return Status::Failed;
  }
  const QByteArray bytes = token.toLatin1();
  if (!LooksLikeToken(bytes)) return Status::Failed;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return Status::Failed;
  file.write(bytes + '\n');
  return StatusOf(file.commit());
}

}  // namespace snapwick::portal
