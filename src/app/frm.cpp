#include "app/frm.h"

#include "app/startup.h"
#include "app/tray.h"
#include "capture/capture.h"
#include "ui/settings_panel.h"
#include "ui/win_proc.h"

namespace snapwick {

void Frm::OnLoad() { RunStartup(p_, state_); }

bool Frm::OnCloseRequest(CloseOrigin origin) { return RunClosePath(p_, state_, origin); }

void Frm::OnTimer() { TimerTick(p_, state_); }

void Frm::OnTrayCallback(int mouseCode) { OnTrayMouse(p_, mouseCode); }

void Frm::OnTaskbarCreated() {
  // A restarted shell has forgotten every icon; without ours a hidden
  // window could not be brought back.
  if (state_.TrayData.hWnd != 0) p_.NotifyIcon(TrayOp::Add, state_.TrayData);
}

void Frm::OnClick(ControlId id) {
  switch (id) {
    case ControlId::Cmd1:
      p_.CloseFrm();
      break;
    case ControlId::Cmd3:
      Apply(p_, state_);
      break;
    case ControlId::L5:
      p_.ShellOpen(kPublisherPage);
      break;
    default:
      break;
  }
}

void Frm::OnMenuClick(MenuItemId id) {
  if (id == MenuItemId::settings) ShowFrm(p_);
  if (id == MenuItemId::Exit) p_.CloseFrm();
}

void Frm::OnComboClick() { OnQualityPicked(p_, state_); }

void Frm::OnComboChange() { OnQualityEdited(p_, state_); }

std::intptr_t Frm::OnKeyboardHook(int code, std::intptr_t wParam, std::intptr_t lParam) {
  return KeyboardProc(p_, state_, code, wParam, lParam);
}

}  // namespace snapwick
