// The tray icon's record, the mouse messages that come back from it, and
// adding and removing it through the shell.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/win32/tray_win.h"
#include "platform/win32/win32_platform.h"
#include "win32_test_support.h"

namespace snapwick::win32 {
namespace {

TEST(TrayRecord, WindowIconAndTip_TheFieldsTheShellReads) {
  const auto window = reinterpret_cast<HWND>(0x1234);
  HICON icon = ::LoadIconW(nullptr, IDI_APPLICATION);
  const NOTIFYICONDATAA r = TrayRecord(window, icon, " Snapwick           ");
  EXPECT_EQ(r.cbSize, sizeof(NOTIFYICONDATAA));
  EXPECT_EQ(r.hWnd, window);
  EXPECT_EQ(r.uID, 1u);
  EXPECT_EQ(r.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
  EXPECT_EQ(r.uCallbackMessage, static_cast<UINT>(WM_APP + 1));
  EXPECT_EQ(r.hIcon, icon);
  EXPECT_EQ(std::string(r.szTip), " Snapwick           ");
}

TEST(TrayRecord, Tips_CutToTwentyCharactersAndTerminated) {
  const struct {
    const char* tip;
    const char* kept;
  } cases[] = {
      {"", ""},
      {"Snapwick", "Snapwick"},
      {"exactly twenty chars", "exactly twenty chars"},
      {"twenty-one characters", "twenty-one character"},
      {"\xD1\xED\xE8\xEC\xEE\xEA", "\xD1\xED\xE8\xEC\xEE\xEA"},  // ANSI bytes pass as they are
  };
  for (const auto& c : cases) {
    NOTIFYICONDATAA r = TrayRecord(nullptr, nullptr, c.tip);
    EXPECT_EQ(std::string(r.szTip), c.kept) << c.tip;
  }
}

TEST(TrayEventOf, MouseMessages_EventsOrNothing) {
  const struct {
    UINT message;
    std::optional<TrayEvent> event;
  } cases[] = {
      {512, TrayEvent::PointerMove},
      {513, TrayEvent::LeftPress},
      {514, TrayEvent::LeftRelease},
      {515, TrayEvent::LeftDoubleClick},
      {516, TrayEvent::RightPress},
      {517, TrayEvent::RightRelease},
      {518, TrayEvent::RightDoubleClick},
      {519, TrayEvent::MiddlePress},
      {520, TrayEvent::MiddleRelease},
      {521, std::nullopt},  // middle double-click
      {WM_CONTEXTMENU, std::nullopt},
      {WM_USER, std::nullopt},  // NIN_SELECT
      {0, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TrayEventOf(c.message), c.event) << c.message;
  }
}

// A window of the test's own for the icon; the shell only needs a handle.
class TrayIconTest : public ::testing::Test {
 public:
  TrayIconTest()
      : window(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr)) {}
  ~TrayIconTest() override { ::DestroyWindow(window); }

  HWND window;
  HICON icon = ::LoadIconW(nullptr, IDI_APPLICATION);
};

TEST_F(TrayIconTest, NeverAdded_RemoveFindsNothing) {
  TrayIcon tray;
  EXPECT_EQ(tray.Remove(), Status::Failed);
}

TEST_F(TrayIconTest, AddedAddedAgainRemovedRemovedAgain_OnlyTheFirstOfEachTakes) {
  TrayIcon tray;
  if (tray.Add(window, icon, " Snapwick") != Status::Ok) {
    GTEST_SKIP() << "no notification area on this display";
  }
  EXPECT_EQ(tray.Add(window, icon, " Snapwick"), Status::Failed) << "a second icon";
  EXPECT_EQ(tray.Remove(), Status::Ok);
  EXPECT_EQ(tray.Remove(), Status::Failed);
}

TEST_F(TrayIconTest, DestroyedWhileShown_IconGoneFromTheShell) {
  {
    TrayIcon tray;
    if (tray.Add(window, icon, " Snapwick") != Status::Ok) {
      GTEST_SKIP() << "no notification area on this display";
    }
  }
  // The same record finds nothing any more.
  NOTIFYICONDATAA r = TrayRecord(window, icon, " Snapwick");
  EXPECT_FALSE(::Shell_NotifyIconA(NIM_DELETE, &r));
}

}  // namespace
}  // namespace snapwick::win32
