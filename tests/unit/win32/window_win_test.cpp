// The main window built from the layout tables, and how its messages become
// WindowEvents: clicks, the quality combo, the tray, the keys and the close
// origins; the tray's icon, the window that minimises where there is no
// tray, and COM on the window's thread.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "form/layout.h"
#include "platform/win32/dpi_win.h"
#include "platform/win32/ids_win.h"
#include "platform/win32/tray_win.h"
#include "platform/win32/win32_platform.h"
#include "win32_test_support.h"

namespace snapwick::win32 {
namespace {

using testing::PumpMessages;
using testing::PumpUntil;

std::string NameOf(ControlId id) { return std::string(layout::ControlById(id).name); }

// Records the events; hides the window on the user's close and cancels it,
// as the program does.
class Recorder : public WindowEvents {
 public:
  explicit Recorder(Win32Platform& p) : p_(p) {}

  std::vector<std::string> events;
  std::vector<CloseOrigin> closes;
  bool closeOnStart = false;
  bool shownAtStart = true;
  int ticks = 0;

  void OnStart() override {
    events.push_back("start");
    shownAtStart = p_.IsWindowShown().value_or(true);
    if (closeOnStart) p_.CloseWindow();
  }
  bool OnCloseRequest(CloseOrigin origin) override {
    closes.push_back(origin);
    if (origin != CloseOrigin::User) return false;
    p_.HideWindow();
    return true;
  }
  void OnHotkey(KeySeen) override { events.push_back("hotkey"); }
  void OnTick() override { ++ticks; }
  void OnTrayEvent(TrayEvent event) override {
    events.push_back("tray " + std::to_string(static_cast<int>(event)));
  }
  void OnTrayRecreated() override { events.push_back("tray recreated"); }
  void OnClick(ControlId control) override { events.push_back("click " + NameOf(control)); }
  void OnMenuItem(MenuItemId item) override {
    events.push_back("menu " + std::to_string(static_cast<int>(item)));
  }
  void OnQualityPicked() override {
    events.push_back("picked " + p_.GetText(ControlId::QualityCombo).value_or("?"));
  }
  void OnQualityEdited() override {
    events.push_back("edited " + p_.GetText(ControlId::QualityCombo).value_or("?"));
  }
  void OnKeyReleased(int virtualKey, std::string_view name) override {
    events.push_back("key " + std::to_string(virtualKey) + " " + std::string(name));
  }

 private:
  Win32Platform& p_;
};

class WindowTest : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_TRUE(p.CreateMainWindow(events));
    window = p.Window().Hwnd();
    ASSERT_NE(window, nullptr);
    dpi = DpiOf(window);
  }
  void TearDown() override { PumpMessages(); }

  HWND Control(ControlId id) const { return ::GetDlgItem(window, CommandOf(id)); }

  // The control's rectangle in the window's client area.
  RECT ClientRectOf(HWND control) const {
    RECT r{};
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }

  void FillQualityList() {
    const char* items[] = {"100", "90", "80", "70", "60", "50", "40", "30", "20", "10"};
    for (int i = 0; i < 10; ++i) ASSERT_EQ(p.AddQualityItem(i, items[i]), Status::Ok);
  }

  Win32Platform p{::GetModuleHandleW(nullptr)};
  Recorder events{p};
  HWND window = nullptr;
  int dpi = 96;
};

TEST_F(WindowTest, Create_StartRaisedOnceWhileHidden_ClientAreaFromTwips) {
  EXPECT_EQ(events.events, std::vector<std::string>{"start"});
  EXPECT_FALSE(events.shownAtStart);
  EXPECT_FALSE(::IsWindowVisible(window));
  RECT client{};
  ::GetClientRect(window, &client);
  EXPECT_EQ(client.right, layout::TwipsToPixels(layout::kClientWidthTwips, dpi));
  EXPECT_EQ(client.bottom, layout::TwipsToPixels(layout::kClientHeightTwips, dpi));
  if (dpi == 96) {
    EXPECT_EQ(client.right, 463);
    EXPECT_EQ(client.bottom, 210);
  }
  EXPECT_EQ(::GetMenu(window), nullptr) << "a menu bar";
}

TEST_F(WindowTest, Children_ExactlyTheLayoutsControlsAtTheirPixels) {
  std::vector<HWND> children;
  for (HWND w = ::GetWindow(window, GW_CHILD); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
    children.push_back(w);
  }
  // The screen is copied elsewhere: no hidden child stands in for it.
  EXPECT_EQ(children.size(), static_cast<std::size_t>(kControlCount));
  for (const layout::Control& c : layout::Controls()) {
    HWND control = Control(c.id);
    ASSERT_NE(control, nullptr) << c.name;
    EXPECT_EQ(::GetParent(control), window) << c.name;
    EXPECT_TRUE(::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) << c.name;
    const layout::PixelRect want = layout::PixelsInWindow(c, dpi);
    const RECT got = ClientRectOf(control);
    EXPECT_EQ(got.left, want.x) << c.name;
    EXPECT_EQ(got.top, want.y) << c.name;
    EXPECT_EQ(got.right - got.left, want.width) << c.name;
    EXPECT_EQ(got.bottom - got.top, want.height) << c.name;
  }
}

TEST_F(WindowTest, Labels_PathEllipsisWhereTheLayoutAsks) {
  int withEllipsis = 0;
  for (const layout::Control& c : layout::Controls()) {
    if (c.kind != layout::Kind::Label) continue;
    const auto style = static_cast<DWORD>(::GetWindowLongW(Control(c.id), GWL_STYLE));
    EXPECT_EQ(style & SS_ELLIPSISMASK, c.pathEllipsis ? DWORD{SS_PATHELLIPSIS} : DWORD{0})
        << c.name;
    if (c.pathEllipsis) ++withEllipsis;
  }
  EXPECT_TRUE(layout::ControlById(ControlId::ShotFolderLabel).pathEllipsis);
  EXPECT_EQ(withEllipsis, 1);
}

// The folder label as it paints itself, pixel by pixel.
class LabelPicture {
 public:
  explicit LabelPicture(HWND label) {
    RECT r{};
    ::GetClientRect(label, &r);
    width_ = r.right;
    height_ = r.bottom;
    WindowDC screen(nullptr);
    MemoryDC dc(::CreateCompatibleDC(screen.Get()));
    Bitmap bitmap(::CreateCompatibleBitmap(screen.Get(), width_, height_));
    const Selection into(dc.Get(), bitmap.Get());
    ::PatBlt(dc.Get(), 0, 0, width_, height_, WHITENESS);
    ::SendMessageW(label, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.Get()), PRF_CLIENT);
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) pixels_.push_back(::GetPixel(dc.Get(), x, y));
    }
  }
  bool operator==(const LabelPicture&) const = default;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<COLORREF> pixels_;
};

TEST_F(WindowTest, ShotFolderLabel_LongPathKeepsItsEndInView_ShortOneAsBefore) {
  HWND label = Control(ControlId::ShotFolderLabel);
  const std::string middle(150, 'x');
  const auto picture = [&](const std::string& text) {
    EXPECT_EQ(p.SetText(ControlId::ShotFolderLabel, text), Status::Ok);
    EXPECT_EQ(p.GetText(ControlId::ShotFolderLabel), text) << "the text itself is kept whole";
    return LabelPicture(label);
  };
  // Two paths alike but for their last letters: both ends must show.
  EXPECT_NE(picture("C:\\" + middle + "\\pic"), picture("C:\\" + middle + "\\pia"));

  // A path that fits looks as it did before the ellipsis style.
  const LabelPicture shortWithStyle = picture("C:\\Tools\\Snapwick\\pic");
  const LONG style = ::GetWindowLongW(label, GWL_STYLE);
  ::SetWindowLongW(label, GWL_STYLE, style & ~SS_ELLIPSISMASK);
  EXPECT_EQ(LabelPicture(label), shortWithStyle);
  ::SetWindowLongW(label, GWL_STYLE, style);
}

// Moved to a monitor at 150 %: the window, every control and every font
// take the new scale, as if the window had been made there.
TEST_F(WindowTest, DpiChanged_WindowControlsAndFontsScale) {
  const int newDpi = dpi * 3 / 2;
  HWND label = Control(ControlId::QualityLabel);
  auto before = reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0));
  LOGFONTW old{};
  ASSERT_NE(::GetObjectW(before, sizeof old, &old), 0);
  RECT suggested{100, 50, 900, 600};
  ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(newDpi, newDpi),
                 reinterpret_cast<LPARAM>(&suggested));

  RECT client{};
  ::GetClientRect(window, &client);
  EXPECT_EQ(client.right, layout::TwipsToPixels(layout::kClientWidthTwips, newDpi));
  EXPECT_EQ(client.bottom, layout::TwipsToPixels(layout::kClientHeightTwips, newDpi));
  for (const layout::Control& c : layout::Controls()) {
    const layout::PixelRect want = layout::PixelsInWindow(c, newDpi);
    const RECT got = ClientRectOf(Control(c.id));
    EXPECT_EQ(got.left, want.x) << c.name;
    EXPECT_EQ(got.top, want.y) << c.name;
    EXPECT_EQ(got.right - got.left, want.width) << c.name;
  }
  auto after = reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0));
  LOGFONTW now{};
  ASSERT_NE(::GetObjectW(after, sizeof now, &now), 0);
  EXPECT_EQ(now.lfHeight, old.lfHeight * 3 / 2);
}

TEST_F(WindowTest, Texts_RussianCaptionsFromTheTable) {
  EXPECT_EQ(p.GetText(ControlId::ExitButton), "Выход");
  EXPECT_EQ(p.GetText(ControlId::SettingsFrame), "Настройки программы");
  EXPECT_EQ(p.GetText(ControlId::QualityLabel), "Качество скриншотов %");
  EXPECT_EQ(p.GetText(ControlId::ShotFolderLabel), "C:\\temp");
  EXPECT_EQ(p.GetText(ControlId::HotkeyBox), "");
  EXPECT_EQ(p.GetText(ControlId::QualityCombo), "");
  EXPECT_EQ(p.IsSoundChecked(), false);
}

TEST_F(WindowTest, SetTextAndTitle_CyrillicReadsBackTheSame) {
  const std::string folder = "D:\\Снимки экрана & co\\pic";
  EXPECT_EQ(p.SetText(ControlId::ShotFolderLabel, folder), Status::Ok);
  EXPECT_EQ(p.GetText(ControlId::ShotFolderLabel), folder);
  EXPECT_EQ(p.SetTitle("Snapwick (HotKey:Пробел)"), Status::Ok);
  EXPECT_EQ(WindowText(window), "Snapwick (HotKey:Пробел)");
}

TEST_F(WindowTest, TabKey_VisitsFocusableControlsInTabIndexOrderAndWraps) {
  const std::vector<ControlId> order{ControlId::ExitButton,  ControlId::QualityCombo,
                                     ControlId::ApplyButton, ControlId::HotkeyBox,
                                     ControlId::SoundCheck,  ControlId::ExitButton};
  EXPECT_EQ(FirstTabStop(), ControlId::ExitButton);
  HWND at = Control(ControlId::ExitButton);
  for (std::size_t i = 1; i < order.size(); ++i) {
    at = ::GetNextDlgTabItem(window, at, FALSE);
    EXPECT_EQ(at, Control(order[i])) << "step " << i;
  }
}

TEST_F(WindowTest, Frames_BelowEveryControlInZOrder) {
  std::vector<HWND> zOrder;
  for (HWND w = ::GetWindow(window, GW_CHILD); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
    zOrder.push_back(w);
  }
  const auto position = [&](ControlId id) {
    return std::find(zOrder.begin(), zOrder.end(), Control(id)) - zOrder.begin();
  };
  for (const layout::Control& c : layout::Controls()) {
    if (c.kind == layout::Kind::Frame) continue;
    EXPECT_LT(position(c.id), position(ControlId::FolderFrame)) << c.name;
    EXPECT_LT(position(c.id), position(ControlId::SettingsFrame)) << c.name;
  }
}

TEST_F(WindowTest, ComboPick_PickedEventReadsThePickedItem) {
  FillQualityList();
  ASSERT_EQ(p.SetText(ControlId::QualityCombo, "80"), Status::Ok);
  events.events.clear();
  HWND combo = Control(ControlId::QualityCombo);
  // What the combo box does when the user picks the item "30": its list
  // moves the selection and the notification comes before the edit field
  // shows the item.
  COMBOBOXINFO info{};
  info.cbSize = sizeof(info);
  ASSERT_TRUE(::GetComboBoxInfo(combo, &info));
  ::SendMessageW(info.hwndList, LB_SETCURSEL, 7, 0);
  ASSERT_EQ(p.GetText(ControlId::QualityCombo), "80");
  ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(CommandOf(ControlId::QualityCombo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
  EXPECT_EQ(events.events, std::vector<std::string>{"picked 30"});
}

TEST_F(WindowTest, ComboTyping_EditedEvent) {
  HWND combo = Control(ControlId::QualityCombo);
  ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(CommandOf(ControlId::QualityCombo), CBN_EDITCHANGE),
                 reinterpret_cast<LPARAM>(combo));
  EXPECT_EQ(events.events, (std::vector<std::string>{"start", "edited "}));
}

TEST_F(WindowTest, ComboTextSetByProgram_EditedEventOnlyWhenTheTextChanges) {
  EXPECT_EQ(p.SetText(ControlId::QualityCombo, "70"), Status::Ok);
  EXPECT_EQ(p.SetText(ControlId::QualityCombo, "70"), Status::Ok);
  EXPECT_EQ(p.SetText(ControlId::HotkeyBox, "F8"), Status::Ok);
  EXPECT_EQ(events.events, (std::vector<std::string>{"start", "edited 70"}));
}

// The arrow keys move on from the list's current item, so a quality set by
// the program must also be the current item, or Down jumps to the top.
TEST_F(WindowTest, ComboTextSetByProgram_ListItemFollowsWhenTheListHoldsIt) {
  FillQualityList();
  HWND combo = Control(ControlId::QualityCombo);
  ASSERT_EQ(p.SetText(ControlId::QualityCombo, "30"), Status::Ok);
  EXPECT_EQ(::SendMessageW(combo, CB_GETCURSEL, 0, 0), 7);
  ASSERT_EQ(p.SetText(ControlId::QualityCombo, "75"), Status::Ok);
  EXPECT_EQ(p.GetText(ControlId::QualityCombo), "75");
  EXPECT_EQ(::SendMessageW(combo, CB_GETCURSEL, 0, 0), 7);
}

TEST_F(WindowTest, AddQualityItem_InOrderOrBeyondTheEnd) {
  EXPECT_EQ(p.AddQualityItem(0, "90"), Status::Ok);
  EXPECT_EQ(p.AddQualityItem(0, "100"), Status::Ok);
  EXPECT_EQ(p.AddQualityItem(5, "10"), Status::Failed);
  EXPECT_EQ(p.AddQualityItem(-1, "10"), Status::Failed);
  HWND combo = Control(ControlId::QualityCombo);
  EXPECT_EQ(::SendMessageW(combo, CB_GETCOUNT, 0, 0), 2);
  wchar_t first[8] = {};
  ::SendMessageW(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(first));
  EXPECT_EQ(std::wstring(first), L"100");
}

TEST_F(WindowTest, SoundCheck_SetAndReadBack) {
  for (const bool checked : {true, false, true}) {
    EXPECT_EQ(p.SetSoundChecked(checked), Status::Ok);
    EXPECT_EQ(p.IsSoundChecked(), checked);
    EXPECT_EQ(::SendMessageW(Control(ControlId::SoundCheck), BM_GETCHECK, 0, 0),
              checked ? BST_CHECKED : BST_UNCHECKED);
  }
}

TEST_F(WindowTest, ButtonsAndLink_RaiseClick_CheckBoxTicksSilently) {
  ::SendMessageW(Control(ControlId::ApplyButton), BM_CLICK, 0, 0);
  ::SendMessageW(Control(ControlId::ExitButton), BM_CLICK, 0, 0);
  ::SendMessageW(Control(ControlId::SoundCheck), BM_CLICK, 0, 0);
  ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(CommandOf(ControlId::PublisherLink), STN_CLICKED),
                 reinterpret_cast<LPARAM>(Control(ControlId::PublisherLink)));
  EXPECT_EQ(events.events, (std::vector<std::string>{"start", "click ApplyButton",
                                                     "click ExitButton", "click PublisherLink"}));
  EXPECT_EQ(p.IsSoundChecked(), true);
}

TEST_F(WindowTest, EnterOnFocusedButton_PressesIt) {
  ::SetFocus(Control(ControlId::ApplyButton));
  if (::GetFocus() != Control(ControlId::ApplyButton)) {
    GTEST_SKIP() << "this thread cannot take the focus";
  }
  ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_EQ(events.events, (std::vector<std::string>{"start", "click ApplyButton"}));
}

TEST_F(WindowTest, TrayCallbackAndShellRestart_TrayEvents) {
  for (const UINT mouse : {WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_MOUSEMOVE, WM_MBUTTONDBLCLK}) {
    ::SendMessageW(window, kTrayCallbackMessage, kTrayIconId, MAKELPARAM(mouse, 0));
  }
  ::SendMessageW(window, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  const auto tray = [](TrayEvent e) { return "tray " + std::to_string(static_cast<int>(e)); };
  EXPECT_EQ(events.events,
            (std::vector<std::string>{"start", tray(TrayEvent::LeftDoubleClick),
                                      tray(TrayEvent::RightPress), tray(TrayEvent::PointerMove),
                                      "tray recreated"}));
}

TEST_F(WindowTest, MenuCommands_RaiseMenuItem) {
  ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(CommandOf(MenuItemId::SettingsItem), 0), 0);
  ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(CommandOf(MenuItemId::ExitItem), 0), 0);
  EXPECT_EQ(events.events, (std::vector<std::string>{"start", "menu 0", "menu 2"}));
}

TEST_F(WindowTest, HandCursor_OverTheLinkOnly) {
  const HCURSOR arrow = ::LoadCursorW(nullptr, IDC_ARROW);
  ::SetCursor(arrow);
  ::SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(Control(ControlId::PublisherLink)),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  const HCURSOR overLink = ::GetCursor();
  EXPECT_NE(overLink, arrow);
  ::SetCursor(arrow);
  ::SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(Control(ControlId::DeveloperLabel)),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_NE(::GetCursor(), overLink);
}

TEST_F(WindowTest, ShowHide_MinimisedCountsAsShown_ShowRestoresAndRaises) {
  if (p.AddTrayIcon("Snapwick") != Status::Ok) GTEST_SKIP() << "no notification area";
  p.ShowMainWindow();
  EXPECT_EQ(p.IsWindowShown(), true);
  EXPECT_EQ(p.HideWindow(), Status::Ok);
  EXPECT_EQ(p.IsWindowShown(), false);
  for (const int state : {SW_MINIMIZE, SW_MAXIMIZE}) {
    ::ShowWindow(window, state);
    EXPECT_EQ(p.IsWindowShown(), true) << state;
    EXPECT_EQ(p.ShowWindow(), Status::Ok);
    EXPECT_FALSE(::IsIconic(window)) << state;
    EXPECT_FALSE(::IsZoomed(window)) << state;
    EXPECT_TRUE(::IsWindowVisible(window)) << state;
    EXPECT_EQ(::GetForegroundWindow(), window) << state;
  }
}

TEST_F(WindowTest, HideWithoutTrayIcon_MinimisedInsteadSoTheProgramStaysReachable) {
  p.ShowMainWindow();
  // Never added, and added then gone: no icon to bring the window back from.
  for (const bool addFirst : {false, true}) {
    if (addFirst) {
      if (p.AddTrayIcon("Snapwick") != Status::Ok) GTEST_SKIP() << "no notification area";
      ASSERT_EQ(p.RemoveTrayIcon(), Status::Ok);
    }
    ASSERT_EQ(p.ShowWindow(), Status::Ok);
    EXPECT_EQ(p.HideWindow(), Status::Ok) << addFirst;
    EXPECT_TRUE(::IsWindowVisible(window)) << addFirst;
    EXPECT_TRUE(::IsIconic(window)) << addFirst;
    EXPECT_EQ(p.IsWindowShown(), true) << addFirst;
  }
  // With the icon back, hidden again.
  ASSERT_EQ(p.AddTrayIcon("Snapwick"), Status::Ok);
  EXPECT_EQ(p.HideWindow(), Status::Ok);
  EXPECT_FALSE(::IsWindowVisible(window));
  p.RemoveTrayIcon();
}

TEST_F(WindowTest, TrayIcon_TheSmallIconSize) {
  ICONINFO info{};
  ASSERT_TRUE(::GetIconInfo(p.Window().TrayIcon(), &info));
  const Bitmap mask(info.hbmMask);
  const Bitmap colour(info.hbmColor);
  BITMAP bits{};
  ASSERT_NE(::GetObjectW(info.hbmMask, sizeof(bits), &bits), 0);
  EXPECT_EQ(bits.bmWidth, ::GetSystemMetrics(SM_CXSMICON));
  // A mask without a colour bitmap holds the AND and XOR halves one above
  // the other.
  EXPECT_EQ(bits.bmHeight, ::GetSystemMetrics(SM_CYSMICON) * (info.hbmColor ? 1 : 2));
}

TEST_F(WindowTest, Com_SingleThreadedApartmentOnTheWindowsThread) {
  // S_FALSE: already initialised in this mode, as the shell's calls want
  // it; RPC_E_CHANGED_MODE would tell of another mode.
  const HRESULT again = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  EXPECT_EQ(again, S_FALSE);
  if (SUCCEEDED(again)) ::CoUninitialize();
}

TEST_F(WindowTest, ShowFirst_CentredOnThePrimaryScreen) {
  p.ShowMainWindow();
  RECT r{};
  ::GetWindowRect(window, &r);
  EXPECT_NEAR((r.left + r.right) / 2, ::GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((r.top + r.bottom) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 1);
  EXPECT_TRUE(::IsWindowVisible(window));
  EXPECT_FALSE(::IsIconic(window));
  EXPECT_FALSE(::IsZoomed(window));
}

TEST_F(WindowTest, PopUpTrayMenu_InFrontWhileOpen_ReturnsWhenClosed) {
  static HWND expected = nullptr;
  static bool inFront = false;
  static bool menuOpen = false;
  expected = window;
  // Closes the menu from inside its own loop, once it is up.
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    inFront = ::GetForegroundWindow() == expected;
    menuOpen = ::FindWindowW(L"#32768", nullptr) != nullptr;
    ::EndMenu();
  });
  ASSERT_NE(timer, 0u);
  EXPECT_EQ(p.PopUpTrayMenu(), Status::Ok);
  EXPECT_TRUE(menuOpen);
  EXPECT_TRUE(inFront) << "a menu not in front stays open when the user clicks elsewhere";
  MSG poke{};
  EXPECT_TRUE(::PeekMessageW(&poke, window, WM_NULL, WM_NULL, PM_REMOVE))
      << "no message after the menu, so a second one would not open at once";
}

TEST_F(WindowTest, KeyReleasedInTheWindow_ReachesItsEventsAndTheControl) {
  p.ShowMainWindow();
  HWND combo = Control(ControlId::QualityCombo);
  ::SetForegroundWindow(window);
  ::SetFocus(combo);
  if (!::IsChild(window, ::GetFocus())) GTEST_SKIP() << "the window cannot take the focus";
  ASSERT_EQ(p.SetKeyCapture(true), Status::Ok);
  INPUT keys[2] = {};
  for (INPUT& k : keys) {
    k.type = INPUT_KEYBOARD;
    k.ki.wVk = '5';
    k.ki.wScan = static_cast<WORD>(::MapVirtualKeyW('5', MAPVK_VK_TO_VSC));
  }
  keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
  ::SendInput(2, keys, sizeof(INPUT));
  EXPECT_TRUE(PumpUntil([&] { return p.GetText(ControlId::QualityCombo) == "5"; }));
  EXPECT_NE(std::find(events.events.begin(), events.events.end(), "key 53 5"), events.events.end())
      << ::testing::PrintToString(events.events);
  EXPECT_EQ(p.SetKeyCapture(false), Status::Ok);
}

TEST_F(WindowTest, CloseCommandOfTheWindow_UserOrigin_Cancelled) {
  if (p.AddTrayIcon("Snapwick") != Status::Ok) GTEST_SKIP() << "no notification area";
  p.ShowMainWindow();
  ::SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  ::SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(events.closes, (std::vector<CloseOrigin>{CloseOrigin::User, CloseOrigin::User}));
  EXPECT_TRUE(::IsWindow(window));
  EXPECT_FALSE(::IsWindowVisible(window));
}

TEST_F(WindowTest, CloseFromProgram_ProgramOrigin_WindowGone) {
  EXPECT_EQ(p.CloseWindow(), Status::Ok);
  EXPECT_EQ(events.closes, std::vector<CloseOrigin>{CloseOrigin::Program});
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(p.Window().Hwnd(), nullptr);
  EXPECT_EQ(p.CloseWindow(), Status::Failed);
  EXPECT_EQ(p.GetText(ControlId::HotkeyBox), std::nullopt);
  EXPECT_EQ(p.IsWindowShown(), std::nullopt);
}

TEST_F(WindowTest, CloseSentByAnotherProgram_OtherProgramOrigin_WindowGone) {
  ::SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(events.closes, std::vector<CloseOrigin>{CloseOrigin::OtherProgram});
  EXPECT_FALSE(::IsWindow(window));
}

TEST_F(WindowTest, UserCloseThenOtherProgramsClose_OriginsTellThemApart) {
  ::SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  PumpMessages();
  EXPECT_EQ(events.closes,
            (std::vector<CloseOrigin>{CloseOrigin::User, CloseOrigin::OtherProgram}));
}

TEST_F(WindowTest, SessionEnd_SessionOriginOnce_CancelledEndNothing) {
  EXPECT_EQ(::SendMessageW(window, WM_QUERYENDSESSION, 0, 0), TRUE);
  ::SendMessageW(window, WM_ENDSESSION, FALSE, 0);
  EXPECT_TRUE(events.closes.empty());
  EXPECT_TRUE(::IsWindow(window));
  ::SendMessageW(window, WM_ENDSESSION, TRUE, 0);
  EXPECT_EQ(events.closes, std::vector<CloseOrigin>{CloseOrigin::Session});
  EXPECT_FALSE(::IsWindow(window));
}

TEST(WindowStart, StartClosesTheWindow_NeverShownAndTheLoopEnds) {
  PumpMessages();
  Win32Platform p(::GetModuleHandleW(nullptr));
  Recorder events(p);
  events.closeOnStart = true;
  EXPECT_FALSE(p.CreateMainWindow(events));
  EXPECT_EQ(events.closes, std::vector<CloseOrigin>{CloseOrigin::Program});
  EXPECT_EQ(p.Window().Hwnd(), nullptr);
  MSG quit{};
  EXPECT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
      << "the message loop would not end";
}

}  // namespace
}  // namespace snapwick::win32
