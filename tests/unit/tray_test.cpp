#include "app/frm.h"
#include "app/tray.h"
#include "app_fixture.h"

namespace snapwick::testing {
namespace {

using Tray = AppTest;

TEST_F(Tray, Record_ValuesAndTipFilledToTwenty) {
  const TrayData d = MakeTrayData(0x1234, 0x99);
  EXPECT_EQ(d.hWnd, 0x1234u);
  EXPECT_EQ(d.hIcon, 0x99u);
  EXPECT_EQ(d.uID, 1u);
  EXPECT_EQ(d.uFlags, 7u);
  EXPECT_EQ(d.uCallbackMessage, kTrayCallbackMessage);
  EXPECT_EQ(d.szTip, " Snapwick           ");
  EXPECT_EQ(d.szTip.size(), 20u);
}

TEST_F(Tray, OnlyDoubleClickAndRightPressAct) {
  for (int code = 512; code <= 522; ++code) {
    FakePlatform fp;
    OnTrayMouse(fp, code);
    if (code == kWmLButtonDblClk || code == kWmRButtonDown) {
      EXPECT_FALSE(fp.calls.empty()) << code;
    } else {
      EXPECT_TRUE(fp.calls.empty()) << code;
    }
  }
}

TEST_F(Tray, DoubleClick_TogglesHiddenShownAndMinimised) {
  p.visible = false;
  OnTrayMouse(p, kWmLButtonDblClk);
  EXPECT_TRUE(p.visible);
  EXPECT_EQ(p.Names(), (std::vector<std::string>{"FrmVisible", "SetFrmVisible", "RestoreFrm",
                                                 "FrmHandle", "SetForegroundWindow"}));

  OnTrayMouse(p, kWmLButtonDblClk);
  EXPECT_FALSE(p.visible);

  // A minimised window counts as shown: hidden, then shown restored.
  p.visible = true;
  p.minimised = true;
  OnTrayMouse(p, kWmLButtonDblClk);
  EXPECT_FALSE(p.visible);
  OnTrayMouse(p, kWmLButtonDblClk);
  EXPECT_TRUE(p.visible);
  EXPECT_FALSE(p.minimised);
}

TEST_F(Tray, RightPress_ForegroundThenMenu) {
  OnTrayMouse(p, kWmRButtonDown);
  EXPECT_EQ(p.Names(),
            (std::vector<std::string>{"FrmHandle", "SetForegroundWindow", "PopupTrayMenu"}));
}

TEST_F(Tray, SettingsItem_ShowsAndNeverHides) {
  Frm frm(p);
  p.minimised = true;
  frm.OnMenuClick(MenuItemId::settings);
  EXPECT_TRUE(p.visible);
  EXPECT_FALSE(p.minimised);
  EXPECT_EQ(p.Count("FrmVisible"), 0);
}

TEST_F(Tray, ShellRestart_AddsTheSameIconAgain) {
  Frm frm(p);
  frm.OnTaskbarCreated();  // before start-up: there is no icon to restore
  EXPECT_TRUE(p.trayCalls.empty());
  frm.OnLoad();
  frm.OnTaskbarCreated();
  ASSERT_EQ(p.trayCalls.size(), 2u);
  EXPECT_EQ(p.trayCalls[1].first, TrayOp::Add);
  EXPECT_EQ(p.trayCalls[1].second, p.trayCalls[0].second);
}

TEST_F(Tray, PublisherLink_OpensThePage) {
  Frm frm(p);
  frm.OnClick(ControlId::L5);
  EXPECT_EQ(p.Names(), std::vector<std::string>{"ShellOpen"});
  EXPECT_EQ(p.calls[0].detail, kPublisherPage);
}

}  // namespace
}  // namespace snapwick::testing
