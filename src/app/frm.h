#pragma once
// The main window's logic: the application state and the handlers of every
// event the platform raises on the window.

#include "app/app_state.h"
#include "platform/frm_events.h"
#include "platform/platform.h"

namespace snapwick {

class Frm final : public FrmEvents {
 public:
  explicit Frm(Platform& platform) : p_(platform) {}

  void OnLoad() override;
  bool OnCloseRequest(CloseOrigin origin) override;
  void OnUnload() override {}
  void OnTimer() override;
  void OnTrayCallback(int mouseCode) override;
  void OnTaskbarCreated() override;
  void OnClick(ControlId id) override;
  void OnMenuClick(MenuItemId id) override;
  void OnComboClick() override;
  void OnComboChange() override;
  std::intptr_t OnKeyboardHook(int code, std::intptr_t wParam, std::intptr_t lParam) override;

  const AppState& State() const { return state_; }

 private:
  Platform& p_;
  AppState state_;
};

}  // namespace snapwick
