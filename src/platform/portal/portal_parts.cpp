#include "platform/portal/portal_parts.h"

#include <QCoreApplication>
#include <QDir>

#include "platform/portal/portal_hotkey.h"
#include "platform/portal/portal_screen.h"

namespace snapwick::portal {

namespace {

constexpr char kGlobalShortcuts[] = "org.freedesktop.impl.portal.GlobalShortcuts";
constexpr char kScreenCast[] = "org.freedesktop.impl.portal.ScreenCast";
constexpr char kScreenshot[] = "org.freedesktop.impl.portal.Screenshot";

}  // namespace

std::unique_ptr<linux::HotkeySource> MakePortalHotkey(const QDBusConnection& bus,
                                                      const QStringList& desktops,
                                                      const BackendFiles& files) {
  if (!bus.isConnected()) return nullptr;
  if (!DesktopImplements(QLatin1String(kGlobalShortcuts), desktops, files)) return nullptr;
  return std::make_unique<PortalHotkeySource>(bus, QLatin1String(kShortcutToken));
}

std::unique_ptr<linux::ScreenSource> MakePortalScreen(const QDBusConnection& bus,
                                                      const QStringList& desktops,
                                                      const BackendFiles& files,
                                                      const QString& tokenFile) {
  if (!bus.isConnected()) return nullptr;
  PortalScreenSource::Options options;
  options.screenCast = DesktopImplements(QLatin1String(kScreenCast), desktops, files);
  options.screenshot = DesktopImplements(QLatin1String(kScreenshot), desktops, files);
  if (!options.screenCast && !options.screenshot) return nullptr;
  options.tokenFile = tokenFile;
  return std::make_unique<PortalScreenSource>(bus, std::move(options));
}

linux::DesktopWays DesktopPortalWays() {
  linux::DesktopWays ways;
  ways.hotkey = [] {
    return MakePortalHotkey(QDBusConnection::sessionBus(), CurrentDesktops(), SystemBackendFiles());
  };
  ways.screen = [] {
    const QString token =
        QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(kRestoreTokenFile));
    return MakePortalScreen(QDBusConnection::sessionBus(), CurrentDesktops(), SystemBackendFiles(),
                            token);
  };
  return ways;
}

}  // namespace snapwick::portal
