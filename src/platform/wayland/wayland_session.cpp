#include "platform/wayland/wayland_session.h"

#include <qpa/qplatformnativeinterface.h>
#include <QGuiApplication>

#include <memory>

#include "platform/linux/compositor_key_command.h"
#include "platform/linux/linux_texts.h"
#include "platform/linux/session_choice.h"
#include "platform/wayland/screencopy_grabber.h"
#include "platform/wayland/seat_keymap.h"
#include "platform/wayland/sway_hotkey_source.h"

namespace snapwick::wayland {
namespace {

// Qt's own connection to the compositor: the keyboard that hears the
// layout must be the focused client's, which is Qt's. Qt 6.4 tells it only
// through its platform interface.
wl_display* QtDisplay() {
  if (QGuiApplication::platformName() != QLatin1String("wayland")) return nullptr;
  QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
  return native ? static_cast<wl_display*>(native->nativeResourceForIntegration("wl_display"))
                : nullptr;
}

class ScreencopyScreen final : public linux::ScreenSource {
 public:
  explicit ScreencopyScreen(std::unique_ptr<ScreencopyGrabber> grabber)
      : grabber_(std::move(grabber)) {}
  ScreenGrab Grab() override { return GrabbedNow(grabber_->Grab()); }

 private:
  std::unique_ptr<ScreencopyGrabber> grabber_;
};

// The compositor's way to the screen: ext-image-copy-capture (sway 1.11
// on, labwc, Wayfire, river, niri, Hyprland, COSMIC), else wlroots'
// screencopy (older sway).
std::unique_ptr<linux::ScreenSource> CompositorScreen() {
  if (auto grabber = ScreencopyGrabber::Connect()) {
    return std::make_unique<ScreencopyScreen>(std::move(grabber));
  }
  return nullptr;
}

}  // namespace

linux::SessionParts MakeWaylandSession(const linux::DesktopWays& desktop) {
  std::unique_ptr<SeatKeymap> keymap = SeatKeymap::Attach(QtDisplay());
  SeatKeymap* seat = keymap.get();
  // sway's IPC, then the desktop's GlobalShortcuts (KDE, GNOME 48,
  // Hyprland); screencopy, then the desktop's ScreenCast or Screenshot.
  const linux::HotkeySourceFactory sway = [seat]() -> std::unique_ptr<linux::HotkeySource> {
    auto firstLayout = [seat]() { return seat ? seat->PcKeymap() : nullptr; };
    return SwayHotkeySource::Connect(firstLayout);
  };
  // Without a key of its own, the compositor's copy still serves the keys
  // of the compositor's own bindings; a desktop's screen cast, which asks
  // the user, is not started for them.
  linux::SessionParts parts = linux::ChooseSessionParts(
      {sway, desktop.hotkey}, {CompositorScreen, desktop.screen}, linux::kNoHotkeyWayMessage,
      linux::kNoScreenWayMessage,
      {{CompositorScreen},
       linux::BindInCompositorNotice(QCoreApplication::applicationFilePath().toStdString())});
  // Last: SwayHotkey keeps a reference of its own to the keymap it was
  // given, and asks for one only while watching.
  parts.keymap = std::move(keymap);
  return parts;
}

}  // namespace snapwick::wayland
