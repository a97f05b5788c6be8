#include "platform/portal/restore_token.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

namespace snapwick::portal {
namespace {

void Write(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

TEST(RestoreToken, KeptTokenIsReadBackAndReplaced) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("screencast.token"));
  EXPECT_EQ(LoadRestoreToken(path), QString());
  EXPECT_EQ(SaveRestoreToken(path, QStringLiteral("36e20e24-b642-47af")), Status::Ok);
  EXPECT_EQ(LoadRestoreToken(path), QStringLiteral("36e20e24-b642-47af"));
  EXPECT_EQ(SaveRestoreToken(path, QStringLiteral("second")), Status::Ok);
  EXPECT_EQ(LoadRestoreToken(path), QStringLiteral("second"));
  // Nothing to keep: the file goes, and so does a stale token.
  EXPECT_EQ(SaveRestoreToken(path, QString()), Status::Ok);
  EXPECT_FALSE(QFile::exists(path));
  EXPECT_EQ(SaveRestoreToken(path, QString()), Status::Ok);
}

TEST(RestoreToken, AFileThatHoldsNoTokenGivesNone) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("screencast.token"));
  for (const QByteArray& bytes :
       {QByteArray(), QByteArray("\n"), QByteArray("two words\n"), QByteArray("a\0b", 3),
        QByteArray(300, 'x'), QByteArray("\xd0\xa4")}) {
    Write(path, bytes);
    EXPECT_EQ(LoadRestoreToken(path), QString()) << bytes.toHex().constData();
  }
  Write(path, QByteArray(256, 'x') + "\n");
  EXPECT_EQ(LoadRestoreToken(path).size(), 256);
}

TEST(RestoreToken, ATokenTheFileCouldNotHoldIsRefused) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("screencast.token"));
  EXPECT_EQ(SaveRestoreToken(path, QStringLiteral("with space")), Status::Failed);
  EXPECT_EQ(SaveRestoreToken(path, QStringLiteral("Ф")), Status::Failed);
  EXPECT_FALSE(QFile::exists(path));
  EXPECT_EQ(SaveRestoreToken(dir.filePath(QStringLiteral("no/such/folder")), QStringLiteral("t")),
            Status::Failed);
}

}  // namespace
}  // namespace snapwick::portal
