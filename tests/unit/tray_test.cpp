#include "app_fixture.h"
#include "form/texts.h"

namespace snapwick::testing {
namespace {

using Tray = StartedProgram;

TEST_F(Tray, OnlyDoubleClickActivationAndRightPressAct) {
  Start();
  const TrayEvent quiet[] = {TrayEvent::PointerMove,      TrayEvent::LeftPress,
                             TrayEvent::LeftRelease,      TrayEvent::RightRelease,
                             TrayEvent::RightDoubleClick, TrayEvent::MiddlePress,
                             TrayEvent::MiddleRelease};
  for (const TrayEvent e : quiet) logic.OnTrayEvent(e);
  EXPECT_TRUE(p.calls.empty());

  logic.OnTrayEvent(TrayEvent::RightPress);
  EXPECT_EQ(p.Names(), std::vector<std::string>{"PopUpTrayMenu"});
}

TEST_F(Tray, DoubleClickOrActivation_TogglesHiddenShownAndMinimised) {
  Start();
  for (const TrayEvent toggle : {TrayEvent::LeftDoubleClick, TrayEvent::Activate}) {
    p.shown = false;
    logic.OnTrayEvent(toggle);
    EXPECT_TRUE(p.shown);
    logic.OnTrayEvent(toggle);
    EXPECT_FALSE(p.shown);

    // A minimised window counts as shown: hidden, then shown restored.
    p.shown = true;
    p.minimised = true;
    logic.OnTrayEvent(toggle);
    EXPECT_FALSE(p.shown);
    logic.OnTrayEvent(toggle);
    EXPECT_TRUE(p.shown);
    EXPECT_FALSE(p.minimised);
  }
}

TEST_F(Tray, SettingsItem_ShowsAndNeverHides) {
  Start();
  p.minimised = true;
  logic.OnMenuItem(MenuItemId::SettingsItem);
  EXPECT_TRUE(p.shown);
  EXPECT_FALSE(p.minimised);
  EXPECT_EQ(p.Names(), std::vector<std::string>{"ShowWindow"});
}

TEST_F(Tray, TrayRestarted_TheIconComesBackOnlyIfItWasAdded) {
  logic.OnTrayRecreated();  // before start-up: there is no icon to restore
  EXPECT_FALSE(p.trayIcon);
  logic.OnStart();
  p.trayIcon.reset();
  logic.OnTrayRecreated();
  EXPECT_EQ(p.trayIcon, kTrayTip);
  EXPECT_EQ(p.trayIcon->size(), 20u);
}

TEST_F(Tray, PublisherLink_OpensThePage) {
  Start();
  logic.OnClick(ControlId::PublisherLink);
  EXPECT_EQ(p.addressesOpened, std::vector<std::string>{std::string(kPublisherPage)});
  EXPECT_EQ(p.calls.size(), 1u);
}

}  // namespace
}  // namespace snapwick::testing
