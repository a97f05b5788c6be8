#include "tray/tray.h"

#include "form/texts.h"
#include "platform/platform.h"
#include "state/app_state.h"

namespace snapwick {

void AddTrayIcon(Platform& p, AppState& s) {
  s.trayIconAdded = true;
  p.AddTrayIcon(kTrayTip);
}

void OnTrayRecreated(Platform& p, const AppState& s) {
  if (s.trayIconAdded) p.AddTrayIcon(kTrayTip);
}

void OnTrayEvent(Platform& p, TrayEvent event) {
  switch (event) {
    case TrayEvent::LeftDoubleClick:
    case TrayEvent::Activate:
      // A minimised window counts as shown, so it is hidden too.
      if (p.IsWindowShown().value_or(false)) {
        p.HideWindow();
      } else {
        p.ShowWindow();
      }
      break;
    case TrayEvent::RightPress:
      p.PopUpTrayMenu();
      break;
    default:
      break;
  }
}

void OnTrayMenuItem(Platform& p, MenuItemId item) {
  switch (item) {
    case MenuItemId::SettingsItem:
      // Also when shown already: restores a minimised window and raises it.
      p.ShowWindow();
      break;
    case MenuItemId::ExitItem:
      p.CloseWindow();
      break;
    case MenuItemId::Separator:
      break;
  }
}

}  // namespace snapwick
