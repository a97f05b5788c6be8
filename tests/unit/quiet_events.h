#pragma once
// Window events that do nothing, for the tests of a platform's parts: a
// test overrides only the events it watches.

#include <string_view>

#include "platform/events.h"

namespace snapwick::testing {

class QuietEvents : public WindowEvents {
 public:
  void OnStart() override {}
  bool OnCloseRequest(CloseOrigin) override { return false; }
  void OnHotkey(KeySeen) override {}
  void OnTick() override {}
  void OnTrayEvent(TrayEvent) override {}
  void OnTrayRecreated() override {}
  void OnClick(ControlId) override {}
  void OnMenuItem(MenuItemId) override {}
  void OnQualityPicked() override {}
  void OnQualityEdited() override {}
  void OnKeyReleased(int, std::string_view) override {}
};

}  // namespace snapwick::testing
