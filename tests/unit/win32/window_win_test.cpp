// The main window built from the layout tables, and how its messages become
// events: clicks, the combo box, the tray callback and the close origins.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/dpi_win.h"
#include "platform/win32/ids_win.h"
#include "platform/win32/win32_platform.h"
#include "ui/layout.h"
#include "win32_test_support.h"

namespace snapwick::win32 {
namespace {

using testing::PumpMessages;

// Records the events; cancels the user's close as the program does.
class Recorder : public FrmEvents {
 public:
  explicit Recorder(Win32Platform& p) : p_(p) {}

  std::vector<std::string> events;
  std::vector<CloseOrigin> closes;
  bool closeOnLoad = false;
  bool visibleAtUnload = false;

  void OnLoad() override {
    events.push_back("load");
    if (closeOnLoad) p_.CloseFrm();
  }
  bool OnCloseRequest(CloseOrigin origin) override {
    closes.push_back(origin);
    if (origin != CloseOrigin::User) return false;
    p_.SetFrmVisible(false);
    return true;
  }
  void OnUnload() override {
    events.push_back("unload");
    visibleAtUnload = ::IsWindowVisible(ToWin<HWND>(p_.FrmHandle())) != FALSE;
  }
  void OnTimer() override {}
  void OnTrayCallback(int code) override { events.push_back("tray " + std::to_string(code)); }
  void OnTaskbarCreated() override { events.push_back("taskbar"); }
  void OnClick(ControlId id) override {
    events.push_back("click " + std::string(layout::ControlById(id).name));
  }
  void OnMenuClick(MenuItemId id) override {
    events.push_back("menu " + std::to_string(static_cast<int>(id)));
  }
  void OnComboClick() override {
    events.push_back("combo click " + p_.GetText(ControlId::Cmb).value_or("?"));
  }
  void OnComboChange() override {
    events.push_back("combo change " + p_.GetText(ControlId::Cmb).value_or("?"));
  }
  std::intptr_t OnKeyboardHook(int code, std::intptr_t w, std::intptr_t l) override {
    return p_.CallNextHookEx(0, code, w, l);
  }

 private:
  Win32Platform& p_;
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(p.CreateMainWindow(events));
    frm = ToWin<HWND>(p.FrmHandle());
    ASSERT_NE(frm, nullptr);
    dpi = DpiOf(frm);
  }
  void TearDown() override { PumpMessages(); }

  HWND Control(ControlId id) const { return ::GetDlgItem(frm, CommandOf(id)); }

  // The control's rectangle in the window's client area.
  RECT ClientRectOf(ControlId id) const {
    RECT r{};
    ::GetWindowRect(Control(id), &r);
    ::MapWindowPoints(nullptr, frm, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }

  void FillQualityList() {
    const char* items[] = {"100", "90", "80", "70", "60", "50", "40", "30", "20", "10"};
    for (int i = 0; i < 10; ++i) ASSERT_EQ(p.ComboAddItem(i, items[i]), Status::Ok);
  }

  Win32Platform p{::GetModuleHandleW(nullptr)};
  Recorder events{p};
  HWND frm = nullptr;
  int dpi = 96;
};

TEST_F(WindowTest, Create_LoadRaisedOnceBeforeShown_ClientAreaFromTwips) {
  EXPECT_EQ(events.events, std::vector<std::string>{"load"});
  EXPECT_FALSE(::IsWindowVisible(frm));
  RECT client{};
  ::GetClientRect(frm, &client);
  EXPECT_EQ(client.right, layout::TwipsToPixels(layout::kClientWidthTwips, dpi));
  EXPECT_EQ(client.bottom, layout::TwipsToPixels(layout::kClientHeightTwips, dpi));
  if (dpi == 96) {
    EXPECT_EQ(client.right, 463);
    EXPECT_EQ(client.bottom, 210);
  }
  EXPECT_EQ(::GetMenu(frm), nullptr) << "a menu bar";
}

TEST_F(WindowTest, Controls_ChildrenOfTheWindowAtTheirLayoutPixels) {
  for (const layout::Control& c : layout::Controls()) {
    if (c.kind == layout::Kind::Timer || c.kind == layout::Kind::Canvas) continue;
    HWND control = Control(c.id);
    ASSERT_NE(control, nullptr) << c.name;
    EXPECT_EQ(::GetParent(control), frm) << c.name;
    const layout::PixelRect want = layout::PixelsInWindow(c, dpi);
    const RECT got = ClientRectOf(c.id);
    EXPECT_EQ(got.left, want.x) << c.name;
    EXPECT_EQ(got.top, want.y) << c.name;
    EXPECT_EQ(got.right - got.left, want.width) << c.name;
    EXPECT_EQ(got.bottom - got.top, want.height) << c.name;
    const bool visibleStyle = (::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
    EXPECT_EQ(visibleStyle, c.visible) << c.name;
  }
}

// Moved to a monitor at 150 %: the window, every control and every font
// take the new scale, as if the window had been made there.
TEST_F(WindowTest, DpiChanged_WindowControlsAndFontsScale) {
  const int newDpi = dpi * 3 / 2;
  HFONT before = reinterpret_cast<HFONT>(::SendMessageW(Control(ControlId::Label1), WM_GETFONT, 0, 0));
  LOGFONTW old{};
  ASSERT_NE(::GetObjectW(before, sizeof old, &old), 0);
  RECT suggested{100, 50, 900, 600};
  ::SendMessageW(frm, WM_DPICHANGED, MAKEWPARAM(newDpi, newDpi), reinterpret_cast<LPARAM>(&suggested));

  RECT client{};
  ::GetClientRect(frm, &client);
  EXPECT_EQ(client.right, layout::TwipsToPixels(layout::kClientWidthTwips, newDpi));
  EXPECT_EQ(client.bottom, layout::TwipsToPixels(layout::kClientHeightTwips, newDpi));
  for (const layout::Control& c : layout::Controls()) {
    if (c.kind == layout::Kind::Timer || c.kind == layout::Kind::Canvas) continue;
    const layout::PixelRect want = layout::PixelsInWindow(c, newDpi);
    const RECT got = ClientRectOf(c.id);
    EXPECT_EQ(got.left, want.x) << c.name;
    EXPECT_EQ(got.top, want.y) << c.name;
    EXPECT_EQ(got.right - got.left, want.width) << c.name;
  }
  HFONT after = reinterpret_cast<HFONT>(::SendMessageW(Control(ControlId::Label1), WM_GETFONT, 0, 0));
  LOGFONTW now{};
  ASSERT_NE(::GetObjectW(after, sizeof now, &now), 0);
  EXPECT_EQ(now.lfHeight, old.lfHeight * 3 / 2);
}

TEST_F(WindowTest, Texts_RussianCaptionsFromTheTable) {
  EXPECT_EQ(p.GetText(ControlId::Cmd1), "Выход");
  EXPECT_EQ(p.GetText(ControlId::Frame2), "Настройки программы");
  EXPECT_EQ(p.GetText(ControlId::Label1), "Качество скриншотов %");
  EXPECT_EQ(p.GetText(ControlId::Lb_Pic), "C:\\temp");
  EXPECT_EQ(p.GetText(ControlId::T_key), "");
  EXPECT_EQ(p.GetText(ControlId::Cmb), "");
  EXPECT_EQ(p.CheckValue(), 0);
  EXPECT_EQ(p.GetText(ControlId::Timer1), std::nullopt);
}

TEST_F(WindowTest, SetText_CyrillicFolder_ReadsBackTheSame) {
  const std::string folder = "D:\\Снимки экрана & co\\pic";
  EXPECT_EQ(p.SetText(ControlId::Lb_Pic, folder), Status::Ok);
  EXPECT_EQ(p.GetText(ControlId::Lb_Pic), folder);
  EXPECT_EQ(p.SetFrmCaption("Snapwick (HotKey:Пробел)"), Status::Ok);
  EXPECT_EQ(Narrow([&] {
              wchar_t title[64] = {};
              ::GetWindowTextW(frm, title, 64);
              return std::wstring(title);
            }()),
            "Snapwick (HotKey:Пробел)");
}

TEST_F(WindowTest, TabKey_VisitsFocusableControlsInTabIndexOrderAndWraps) {
  const std::vector<ControlId> order{ControlId::Cmd1, ControlId::Cmb, ControlId::Cmd3,
                                     ControlId::T_key, ControlId::Check, ControlId::Cmd1};
  EXPECT_EQ(FirstTabStop(), ControlId::Cmd1);
  HWND at = Control(ControlId::Cmd1);
  for (std::size_t i = 1; i < order.size(); ++i) {
    at = ::GetNextDlgTabItem(frm, at, FALSE);
    EXPECT_EQ(at, Control(order[i])) << "step " << i;
  }
}

TEST_F(WindowTest, Frames_BelowEveryControlInZOrder) {
  std::vector<HWND> zOrder;
  for (HWND w = ::GetWindow(frm, GW_CHILD); w; w = ::GetWindow(w, GW_HWNDNEXT)) zOrder.push_back(w);
  const auto position = [&](ControlId id) {
    return std::find(zOrder.begin(), zOrder.end(), Control(id)) - zOrder.begin();
  };
  for (const layout::Control& c : layout::Controls()) {
    if (c.kind == layout::Kind::Frame || c.kind == layout::Kind::Timer) continue;
    EXPECT_LT(position(c.id), position(ControlId::Frame1)) << c.name;
    EXPECT_LT(position(c.id), position(ControlId::Frame2)) << c.name;
  }
}

TEST_F(WindowTest, ComboPick_ClickEventReadsThePickedItem) {
  FillQualityList();
  ASSERT_EQ(p.SetText(ControlId::Cmb, "80"), Status::Ok);
  events.events.clear();
  HWND combo = Control(ControlId::Cmb);
  // What the combo box does when the user picks the item "30": its list
  // moves the selection and the notification comes before the edit field
  // shows the item.
  COMBOBOXINFO info{};
  info.cbSize = sizeof(info);
  ASSERT_TRUE(::GetComboBoxInfo(combo, &info));
  ::SendMessageW(info.hwndList, LB_SETCURSEL, 7, 0);
  ASSERT_EQ(p.GetText(ControlId::Cmb), "80");
  ::SendMessageW(frm, WM_COMMAND, MAKEWPARAM(CommandOf(ControlId::Cmb), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
  EXPECT_EQ(events.events, std::vector<std::string>{"combo click 30"});
}

TEST_F(WindowTest, ComboTextSetByProgram_ChangeEventOnlyWhenTheTextChanges) {
  EXPECT_EQ(p.SetText(ControlId::Cmb, "70"), Status::Ok);
  EXPECT_EQ(p.SetText(ControlId::Cmb, "70"), Status::Ok);
  EXPECT_EQ(events.events, (std::vector<std::string>{"load", "combo change 70"}));
}

// The arrow keys move on from the list's current item, so a quality set by
// the program must also be the current item, or Down jumps to the top.
TEST_F(WindowTest, ComboTextSetByProgram_ListItemFollowsWhenTheListHoldsIt) {
  FillQualityList();
  HWND combo = Control(ControlId::Cmb);
  ASSERT_EQ(p.SetText(ControlId::Cmb, "30"), Status::Ok);
  EXPECT_EQ(::SendMessageW(combo, CB_GETCURSEL, 0, 0), 7);
  ASSERT_EQ(p.SetText(ControlId::Cmb, "75"), Status::Ok);
  EXPECT_EQ(p.GetText(ControlId::Cmb), "75");
  EXPECT_EQ(::SendMessageW(combo, CB_GETCURSEL, 0, 0), 7);
}

TEST_F(WindowTest, ComboAddItem_BeyondTheEnd_Fails) {
  EXPECT_EQ(p.ComboAddItem(0, "100"), Status::Ok);
  EXPECT_EQ(p.ComboAddItem(1, "90"), Status::Ok);
  EXPECT_EQ(p.ComboAddItem(5, "10"), Status::Failed);
  EXPECT_EQ(::SendMessageW(Control(ControlId::Cmb), CB_GETCOUNT, 0, 0), 2);
}

TEST_F(WindowTest, CheckValue_TickedUntickedAndOutOfRange) {
  EXPECT_EQ(p.SetCheckValue(1), Status::Ok);
  EXPECT_EQ(p.CheckValue(), 1);
  EXPECT_EQ(p.SetCheckValue(0), Status::Ok);
  EXPECT_EQ(p.CheckValue(), 0);
  EXPECT_EQ(p.SetCheckValue(3), Status::Failed);
  EXPECT_EQ(p.CheckValue(), 0);
}

TEST_F(WindowTest, ButtonsAndLink_RaiseClick_CheckBoxDoesNot) {
  ::SendMessageW(Control(ControlId::Cmd3), BM_CLICK, 0, 0);
  ::SendMessageW(Control(ControlId::Check), BM_CLICK, 0, 0);
  ::SendMessageW(frm, WM_COMMAND, MAKEWPARAM(CommandOf(ControlId::L5), STN_CLICKED),
                 reinterpret_cast<LPARAM>(Control(ControlId::L5)));
  EXPECT_EQ(events.events, (std::vector<std::string>{"load", "click Cmd3", "click L5"}));
  EXPECT_EQ(p.CheckValue(), 1);
}

TEST_F(WindowTest, EnterOnFocusedButton_PressesIt) {
  ::SetFocus(Control(ControlId::Cmd3));
  if (::GetFocus() != Control(ControlId::Cmd3)) GTEST_SKIP() << "this thread cannot take the focus";
  ::SendMessageW(frm, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_EQ(events.events, (std::vector<std::string>{"load", "click Cmd3"}));
}

TEST_F(WindowTest, TrayCallback_MouseCodeFromLowWordOfLParam) {
  ::SendMessageW(frm, kTrayCallbackMessage, 1, MAKELPARAM(WM_LBUTTONDBLCLK, 0));
  ::SendMessageW(frm, kTrayCallbackMessage, 1, MAKELPARAM(WM_RBUTTONDOWN, 0));
  ::SendMessageW(frm, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  EXPECT_EQ(events.events, (std::vector<std::string>{"load", "tray 515", "tray 516", "taskbar"}));
}

TEST_F(WindowTest, MenuCommands_RaiseMenuClick) {
  ::SendMessageW(frm, WM_COMMAND, MAKEWPARAM(CommandOf(MenuItemId::settings), 0), 0);
  ::SendMessageW(frm, WM_COMMAND, MAKEWPARAM(CommandOf(MenuItemId::Exit), 0), 0);
  EXPECT_EQ(events.events, (std::vector<std::string>{"load", "menu 0", "menu 2"}));
}

TEST_F(WindowTest, HandCursor_OverTheLinkOnly) {
  const HCURSOR arrow = ::LoadCursorW(nullptr, IDC_ARROW);
  ::SetCursor(arrow);
  ::SendMessageW(frm, WM_SETCURSOR, reinterpret_cast<WPARAM>(Control(ControlId::L5)),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  const HCURSOR overLink = ::GetCursor();
  EXPECT_NE(overLink, arrow);
  ::SetCursor(arrow);
  ::SendMessageW(frm, WM_SETCURSOR, reinterpret_cast<WPARAM>(Control(ControlId::L4)),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_NE(::GetCursor(), overLink);
}

TEST_F(WindowTest, Canvas_ScreenSizedButNeverShown) {
  EXPECT_EQ(p.ResizeCanvas(1920, 1080), Status::Ok);
  EXPECT_EQ(p.SetCanvasPersistent(true), Status::Ok);
  HWND canvas = Control(ControlId::Pictur);
  ASSERT_NE(canvas, nullptr);
  RECT r{};
  ::GetClientRect(canvas, &r);
  EXPECT_EQ(r.right, 1920);
  EXPECT_EQ(r.bottom, 1080);
  EXPECT_FALSE(::GetWindowLongW(canvas, GWL_STYLE) & WS_VISIBLE);
  EXPECT_FALSE(::GetWindowLongW(canvas, GWL_EXSTYLE) & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE));
  ASSERT_TRUE(p.CanvasImage());
  BITMAP bitmap{};
  ::GetObjectW(ToWin<HBITMAP>(*p.CanvasImage()), sizeof(bitmap), &bitmap);
  EXPECT_EQ(bitmap.bmWidth, 1920);
  EXPECT_EQ(bitmap.bmHeight, 1080);
}

TEST_F(WindowTest, Visibility_HiddenShownMinimisedRestored) {
  p.ShowMainWindow();
  EXPECT_EQ(p.FrmVisible(), true);
  EXPECT_EQ(p.SetFrmVisible(false), Status::Ok);
  EXPECT_EQ(p.FrmVisible(), false);
  EXPECT_EQ(p.SetFrmVisible(true), Status::Ok);
  ::ShowWindow(frm, SW_MINIMIZE);
  EXPECT_EQ(p.FrmVisible(), true) << "a minimised window counts as shown";
  EXPECT_EQ(p.RestoreFrm(), Status::Ok);
  EXPECT_FALSE(::IsIconic(frm));
  EXPECT_EQ(p.FrmVisible(), true);
}

TEST_F(WindowTest, ShowFirst_CentredOnThePrimaryScreen) {
  p.ShowMainWindow();
  RECT r{};
  ::GetWindowRect(frm, &r);
  EXPECT_NEAR((r.left + r.right) / 2, ::GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((r.top + r.bottom) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 1);
  EXPECT_TRUE(::IsWindowVisible(frm));
  EXPECT_FALSE(::IsIconic(frm));
  EXPECT_FALSE(::IsZoomed(frm));
}

TEST_F(WindowTest, CloseCommandOfTheWindow_UserOrigin_Cancelled) {
  p.ShowMainWindow();
  ::SendMessageW(frm, WM_SYSCOMMAND, SC_CLOSE, 0);
  ::SendMessageW(frm, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(events.closes, (std::vector<CloseOrigin>{CloseOrigin::User, CloseOrigin::User}));
  EXPECT_TRUE(::IsWindow(frm));
  EXPECT_FALSE(::IsWindowVisible(frm));
}

TEST_F(WindowTest, CloseFromProgram_ProgramOrigin_Unloads) {
  EXPECT_EQ(p.CloseFrm(), Status::Ok);
  EXPECT_EQ(events.closes, std::vector<CloseOrigin>{CloseOrigin::Program});
  EXPECT_FALSE(::IsWindow(frm));
  EXPECT_EQ(p.FrmHandle(), 0u);
  EXPECT_EQ(events.events.back(), "unload");
  EXPECT_EQ(p.CloseFrm(), Status::Failed);
}

TEST_F(WindowTest, CloseSentByAnotherProgram_TaskOrigin_Unloads) {
  ::SendMessageW(frm, WM_CLOSE, 0, 0);
  EXPECT_EQ(events.closes, std::vector<CloseOrigin>{CloseOrigin::Task});
  EXPECT_FALSE(::IsWindow(frm));
}

TEST_F(WindowTest, UserCloseThenOtherProgramsClose_OriginsTellThemApart) {
  ::SendMessageW(frm, WM_SYSCOMMAND, SC_CLOSE, 0);
  ::PostMessageW(frm, WM_CLOSE, 0, 0);
  PumpMessages();
  EXPECT_EQ(events.closes, (std::vector<CloseOrigin>{CloseOrigin::User, CloseOrigin::Task}));
}

TEST_F(WindowTest, SessionEnd_SessionOriginOnce_CancelledEndNothing) {
  EXPECT_EQ(::SendMessageW(frm, WM_QUERYENDSESSION, 0, 0), TRUE);
  ::SendMessageW(frm, WM_ENDSESSION, FALSE, 0);
  EXPECT_TRUE(events.closes.empty());
  EXPECT_TRUE(::IsWindow(frm));
  ::SendMessageW(frm, WM_ENDSESSION, TRUE, 0);
  EXPECT_EQ(events.closes, std::vector<CloseOrigin>{CloseOrigin::Session});
  EXPECT_FALSE(::IsWindow(frm));
  EXPECT_EQ(std::count(events.events.begin(), events.events.end(), "unload"), 1);
}

TEST(WindowLoad, LoadClosesTheWindow_NeverShownAndProgramEnds) {
  PumpMessages();
  Win32Platform p(::GetModuleHandleW(nullptr));
  Recorder events(p);
  events.closeOnLoad = true;
  EXPECT_FALSE(p.CreateMainWindow(events));
  EXPECT_EQ(events.closes, std::vector<CloseOrigin>{CloseOrigin::Program});
  EXPECT_EQ(events.events, (std::vector<std::string>{"load", "unload"}));
  EXPECT_FALSE(events.visibleAtUnload);
  EXPECT_EQ(p.FrmHandle(), 0u);
  MSG quit{};
  EXPECT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
      << "the message loop would not end";
}

}  // namespace
}  // namespace snapwick::win32
