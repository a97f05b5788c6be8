#include "app/main_window_logic.h"

#include "app/hotkey_in_force.h"
#include "app/startup.h"
#include "form/texts.h"
#include "panel/settings_panel.h"
#include "platform/platform.h"
#include "tray/tray.h"

namespace snapwick {

void MainWindowLogic::OnStart() {
  // The hotkey is watched once the settings have named it.
  if (RunStartup(p_, state_)) WatchHotkey();
}

bool MainWindowLogic::OnCloseRequest(CloseOrigin origin) {
  if (RunClosePath(p_, origin)) return true;
  capture_.StopWatching(p_);
  return false;
}

void MainWindowLogic::OnHotkey(KeySeen seen) { capture_.OnHotkey(p_, state_, seen); }

void MainWindowLogic::OnCompositorKey(CompositorKey key) {
  capture_.OnCompositorKey(p_, state_, key);
}

void MainWindowLogic::WatchHotkey() {
  if (capture_.WatchHotkey(p_, state_) == HotkeyWatch::None) ShowHotkeyUnwatched(p_, state_);
}

void MainWindowLogic::OnHotkeyBound(std::string_view keyName) {
  ShowHotkeyInForce(p_, state_, keyName);
  capture_.OnHotkeyBound(p_, keyName);
}

void MainWindowLogic::OnTick() { capture_.OnTick(p_, state_); }

void MainWindowLogic::OnScreenGrabbed(std::optional<Frame> frame) {
  capture_.OnScreenGrabbed(p_, state_, frame);
}

void MainWindowLogic::OnTrayEvent(TrayEvent event) { snapwick::OnTrayEvent(p_, event); }

void MainWindowLogic::OnTrayRecreated() { snapwick::OnTrayRecreated(p_, state_); }

void MainWindowLogic::OnClick(ControlId control) {
  switch (control) {
    case ControlId::ExitButton:
      p_.CloseWindow();
      break;
    case ControlId::ApplyButton:
      Apply(p_, state_);
      // The new key makes the shots from now on; the old one goes back to
      // the applications.
      WatchHotkey();
      break;
    case ControlId::PublisherLink:
      p_.OpenAddress(kPublisherPage);
      break;
    default:
      break;
  }
}

void MainWindowLogic::OnMenuItem(MenuItemId item) { OnTrayMenuItem(p_, item); }

void MainWindowLogic::OnQualityPicked() { snapwick::OnQualityPicked(p_, state_); }

void MainWindowLogic::OnQualityEdited() { snapwick::OnQualityEdited(p_, state_); }

void MainWindowLogic::OnKeyReleased(int virtualKey, std::string_view name) {
  snapwick::OnKeyReleased(p_, state_, virtualKey, name);
}

}  // namespace snapwick
