#include "platform/portal/portal_parts.h"

#include <QCoreApplication>
#include <QDir>

#include "platform/portal/desktop_entry.h"
#include "platform/portal/portal_hotkey.h"
#include "platform/portal/portal_screen.h"

namespace snapwick::portal {

namespace {

constexpr char kGlobalShortcuts[] = "org.freedesktop.impl.portal.GlobalShortcuts";
constexpr char kScreenCast[] = "org.freedesktop.impl.portal.ScreenCast";
constexpr char kScreenshot[] = "org.freedesktop.impl.portal.Screenshot";

}  // namespace

std::unique_ptr<linux::HotkeySource> MakePortalHotkey(const PortalConnectionSource& connection,
                                                      const QStringList& desktops,
                                                      const BackendFiles& files,
                                                      ShortcutFlow flow) {
  if (!DesktopImplements(QLatin1String(kGlobalShortcuts), desktops, files)) return nullptr;
  auto bus = connection();
  if (!bus) return nullptr;
  return std::make_unique<PortalHotkeySource>(std::move(bus), QLatin1String(kShortcutToken), flow);
}

std::unique_ptr<linux::ScreenSource> MakePortalScreen(const PortalConnectionSource& connection,
                                                      const QStringList& desktops,
                                                      const BackendFiles& files,
                                                      const QString& tokenFile) {
  PortalScreenSource::Options options;
  options.screenCast = DesktopImplements(QLatin1String(kScreenCast), desktops, files);
  options.screenshot = DesktopImplements(QLatin1String(kScreenshot), desktops, files);
  if (!options.screenCast && !options.screenshot) return nullptr;
  auto bus = connection();
  if (!bus) return nullptr;
  options.tokenFile = tokenFile;
  return std::make_unique<PortalScreenSource>(std::move(bus), std::move(options));
}

linux::DesktopWays DesktopPortalWays() {
  // One connection for both parts, opened by whichever asks first.
  auto shared = std::make_shared<std::shared_ptr<PortalConnection>>();
  const PortalConnectionSource connection = [shared] {
    if (!*shared) {
      *shared = PortalConnection::Open(
          QString(),
          {QLatin1String(kAppId), [] { return EnsureOwnDesktopEntry() != EntryWrite::Failed; }});
    }
    return *shared;
  };
  linux::DesktopWays ways;
  ways.hotkey = [connection] {
    return MakePortalHotkey(
        connection, CurrentDesktops(), SystemBackendFiles(),
        ShortcutFlowFor(CurrentDesktops(), qEnvironmentVariable("KDE_SESSION_VERSION")));
  };
  ways.screen = [connection] {
    const QString token =
        QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(kRestoreTokenFile));
    return MakePortalScreen(connection, CurrentDesktops(), SystemBackendFiles(), token);
  };
  return ways;
}

}  // namespace snapwick::portal
