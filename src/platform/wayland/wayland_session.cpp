#include "platform/wayland/wayland_session.h"

#include <qpa/qplatformnativeinterface.h>
#include <QGuiApplication>

#include <memory>

#include "platform/linux/linux_texts.h"
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
  std::optional<Frame> Grab() override { return grabber_->Grab(); }

 private:
  std::unique_ptr<ScreencopyGrabber> grabber_;
};

// The ways to the screen, in the order tried: wlroots' screencopy (sway,
// Wayfire, river, labwc, Hyprland...). The portals' ScreenCast and
// Screenshot go here, after it.
std::unique_ptr<linux::ScreenSource> ChooseScreen() {
  if (auto grabber = ScreencopyGrabber::Connect()) {
    return std::make_unique<ScreencopyScreen>(std::move(grabber));
  }
  return nullptr;
}

// The ways to the hotkey, in the order tried: sway's IPC. The portal's
// GlobalShortcuts goes here, after it.
std::unique_ptr<linux::HotkeySource> ChooseHotkey(SeatKeymap* keymap) {
  auto firstLayout = [keymap]() { return keymap ? keymap->PcKeymap() : nullptr; };
  if (auto sway = SwayHotkeySource::Connect(firstLayout)) return sway;
  return nullptr;
}

}  // namespace

linux::SessionParts MakeWaylandSession() {
  linux::SessionParts parts;
  std::unique_ptr<SeatKeymap> keymap = SeatKeymap::Attach(QtDisplay());
  parts.screen = ChooseScreen();
  parts.hotkey = ChooseHotkey(keymap.get());
  if (!parts.screen || !parts.hotkey) {
    parts.screen.reset();
    parts.hotkey.reset();
    parts.notice = linux::kWaylandMessage;
  }
  // Last: SwayHotkey keeps a reference of its own to the keymap it was
  // given, and asks for one only while watching.
  parts.keymap = std::move(keymap);
  return parts;
}

}  // namespace snapwick::wayland
