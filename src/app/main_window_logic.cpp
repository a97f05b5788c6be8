#include "app/main_window_logic.h"

#include "app/startup.h"
#include "capture/capture.h"
#include "form/texts.h"
#include "panel/settings_panel.h"
#include "platform/platform.h"
#include "tray/tray.h"

namespace snapwick {

void MainWindowLogic::OnStart() { RunStartup(p_, state_); }

bool MainWindowLogic::OnCloseRequest(CloseOrigin origin) { return RunClosePath(p_, origin); }

void MainWindowLogic::OnTick() { TimerTick(p_, state_); }

void MainWindowLogic::OnTrayEvent(TrayEvent event) { snapwick::OnTrayEvent(p_, event); }

void MainWindowLogic::OnTrayRecreated() { snapwick::OnTrayRecreated(p_, state_); }

void MainWindowLogic::OnClick(ControlId control) {
  switch (control) {
    case ControlId::ExitButton:
      p_.CloseWindow();
      break;
    case ControlId::ApplyButton:
      Apply(p_, state_);
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
