#pragma once
// The main window's logic: the application state, and what the program
// does on every event the platform raises.

#include "capture/capture.h"
#include "platform/events.h"
#include "state/app_state.h"

namespace snapwick {

class Platform;

class MainWindowLogic final : public WindowEvents {
 public:
  explicit MainWindowLogic(Platform& platform) : p_(platform) {}
  // `twoStrips`: whether shots may be compressed in two strips at once.
  MainWindowLogic(Platform& platform, bool twoStrips) : p_(platform), capture_(twoStrips) {}

  void OnStart() override;
  bool OnCloseRequest(CloseOrigin origin) override;
  void OnHotkey(KeySeen seen) override;
  void OnCompositorKey(CompositorKey key) override;
  void OnHotkeyBound(std::string_view keyName) override;
  void OnTick() override;
  void OnScreenGrabbed(std::optional<Frame> frame) override;
  void OnTrayEvent(TrayEvent event) override;
  void OnTrayRecreated() override;
  void OnClick(ControlId control) override;
  void OnMenuItem(MenuItemId item) override;
  void OnQualityPicked() override;
  void OnQualityEdited() override;
  void OnKeyReleased(int virtualKey, std::string_view name) override;

  const AppState& State() const { return state_; }

 private:
  // Watches the key in force; a key the platform cannot watch leaves the
  // title without it.
  void WatchHotkey();

  Platform& p_;
  AppState state_;
  Capture capture_;
};

}  // namespace snapwick
