#include "platform/portal/desktop_backends.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace snapwick::portal {
namespace {

constexpr char kShortcuts[] = "org.freedesktop.impl.portal.GlobalShortcuts";

// The files as Debian 12 installs them, with GNOME and KDE both present.
class DesktopBackends : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(QDir(root_.path()).mkpath(QStringLiteral("portals")));
    ASSERT_TRUE(QDir(root_.path()).mkpath(QStringLiteral("conf")));
    files_.portalFolders = {root_.filePath(QStringLiteral("portals"))};
    files_.configFolders = {root_.filePath(QStringLiteral("conf"))};
    Write(QStringLiteral("portals/kde.portal"),
          "[portal]\nDBusName=org.freedesktop.impl.portal.desktop.kde\n"
          "Interfaces=org.freedesktop.impl.portal.ScreenCast;"
          "org.freedesktop.impl.portal.GlobalShortcuts\nUseIn=KDE\n");
    Write(QStringLiteral("portals/gnome.portal"),
          "[portal]\nDBusName=org.freedesktop.impl.portal.desktop.gnome\n"
          "Interfaces=org.freedesktop.impl.portal.Screenshot;"
          "org.freedesktop.impl.portal.ScreenCast;\nUseIn=gnome\n");
  }

  void Write(const QString& name, const QByteArray& text) {
    QFile file(root_.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
  }

  bool Implements(const QString& interface, const QStringList& desktops) {
    return DesktopImplements(interface, desktops, files_);
  }

  QTemporaryDir root_;
  BackendFiles files_;
};

TEST_F(DesktopBackends, OnlyABackendMeantForTheDesktopCounts) {
  EXPECT_TRUE(Implements(QLatin1String(kShortcuts), {QStringLiteral("KDE")}));
  // KDE's backend answers on GNOME too, as a fallback; GNOME has none.
  EXPECT_FALSE(Implements(QLatin1String(kShortcuts), {QStringLiteral("GNOME")}));
  EXPECT_TRUE(Implements(QStringLiteral("org.freedesktop.impl.portal.ScreenCast"),
                         {QStringLiteral("GNOME")}));
  EXPECT_FALSE(Implements(QLatin1String(kShortcuts), {}));
  EXPECT_FALSE(Implements(QLatin1String(kShortcuts), {QStringLiteral("sway")}));
}

TEST_F(DesktopBackends, DesktopNamesAreListsAndCaseDoesNotMatter) {
  EXPECT_TRUE(Implements(QLatin1String(kShortcuts), {QStringLiteral("kde")}));
  EXPECT_FALSE(
      Implements(QLatin1String(kShortcuts), {QStringLiteral("ubuntu"), QStringLiteral("GNOME")}));
  EXPECT_TRUE(
      Implements(QLatin1String(kShortcuts), {QStringLiteral("Hyprland"), QStringLiteral("KDE")}));
}

TEST_F(DesktopBackends, APortalsConfDecidesWhereThereIsOne) {
  // A GNOME session told to take KDE's shortcuts.
  Write(QStringLiteral("conf/gnome-portals.conf"),
        "[preferred]\ndefault=gnome;gtk;\norg.freedesktop.impl.portal.GlobalShortcuts=kde\n");
  EXPECT_TRUE(Implements(QLatin1String(kShortcuts), {QStringLiteral("GNOME")}));
  // A KDE session whose default leaves its own backend out.
  Write(QStringLiteral("conf/kde-portals.conf"), "[preferred]\ndefault=gtk\n");
  EXPECT_FALSE(Implements(QLatin1String(kShortcuts), {QStringLiteral("KDE")}));
  // "*": any backend, which is the fallback: UseIn decides again.
  Write(QStringLiteral("conf/kde-portals.conf"), "[preferred]\ndefault=*\n");
  EXPECT_TRUE(Implements(QLatin1String(kShortcuts), {QStringLiteral("KDE")}));
  Write(QStringLiteral("conf/gnome-portals.conf"), "[preferred]\ndefault=*\n");
  EXPECT_FALSE(Implements(QLatin1String(kShortcuts), {QStringLiteral("GNOME")}));
}

TEST_F(DesktopBackends, BrokenOrMissingFilesClaimNothing) {
  Write(QStringLiteral("portals/kde.portal"),
        "Interfaces=org.freedesktop.impl.portal.GlobalShortcuts");
  EXPECT_FALSE(Implements(QLatin1String(kShortcuts), {QStringLiteral("KDE")}));
  files_.portalFolders = {root_.filePath(QStringLiteral("nowhere"))};
  EXPECT_FALSE(Implements(QLatin1String(kShortcuts), {QStringLiteral("KDE")}));
}

}  // namespace
}  // namespace snapwick::portal
