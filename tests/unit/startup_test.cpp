#include <algorithm>
#include <set>

#include "app/folders.h"
#include "app/frm.h"
#include "app/startup.h"
#include "app_fixture.h"

namespace snapwick::testing {
namespace {

struct FolderCase {
  const char* exeFolder;
  const char* app;
  const char* pic;
  const char* wav;
};

TEST(DeriveFolders, FolderOrDriveRoot_NoTrailingBackslash) {
  const FolderCase cases[] = {
      {"C:\\Tools", "C:\\Tools", "C:\\Tools\\pic", "C:\\Tools\\wav\\"},
      {"E:\\", "E:", "E:\\pic", "E:\\wav\\"},
      {"D:\\Снимки экрана", "D:\\Снимки экрана", "D:\\Снимки экрана\\pic",
       "D:\\Снимки экрана\\wav\\"},
  };
  for (const auto& c : cases) {
    const Folders f = DeriveFolders(c.exeFolder);
    EXPECT_EQ(f.app, c.app) << c.exeFolder;
    EXPECT_EQ(f.pic, c.pic) << c.exeFolder;
    EXPECT_EQ(f.wav, c.wav) << c.exeFolder;
  }
}

using Startup = AppTest;

TEST_F(Startup, FirstRun_SetsUpEverythingInOrder) {
  RunStartup(p, s);

  EXPECT_EQ(s.AppFolder, "C:\\Tools");
  EXPECT_EQ(s.PicFolder, "C:\\Tools\\pic");
  EXPECT_EQ(s.WavFolder, "C:\\Tools\\wav\\");
  EXPECT_EQ(p.texts[ControlId::Lb_Pic], "C:\\Tools\\pic");
  EXPECT_TRUE(p.folders.count("C:\\Tools\\pic"));
  EXPECT_EQ(s.ScreenW, 1920);
  EXPECT_EQ(s.ScreenH, 1080);
  EXPECT_EQ(p.canvasW, 1920);
  EXPECT_EQ(p.canvasH, 1080);
  EXPECT_EQ(s.TitleText, "Snapwick 1.1");
  EXPECT_EQ(p.caption, "Snapwick 1.1 (HotKey:F8)");
  EXPECT_EQ(WinProc.HookHandle, p.hookHandle);
  EXPECT_EQ(WinProc.HotKey, 119);

  ASSERT_EQ(p.trayCalls.size(), 1u);
  EXPECT_EQ(p.trayCalls[0].first, TrayOp::Add);
  EXPECT_EQ(p.trayCalls[0].second.hWnd, p.frmHandle);
  EXPECT_EQ(p.trayCalls[0].second.hIcon, p.frmIcon);
  EXPECT_EQ(p.calls[p.IndexOf("SetWindowsHookEx")].detail, "2 4194304 42");

  // The order of the steps: tray, hook, folders, screen, title, settings.
  const int order[] = {p.IndexOf("NotifyIcon"),   p.IndexOf("SetWindowsHookEx"),
                       p.IndexOf("ExeFolder"),    p.IndexOf("CreateFolder"),
                       p.IndexOf("ResizeCanvas"), p.IndexOf("SetFrmCaption"),
                       p.IndexOf("ComboAddItem")};
  EXPECT_TRUE(std::is_sorted(std::begin(order), std::end(order)));
  EXPECT_EQ(p.calls[p.IndexOf("SetFrmCaption")].detail, "Snapwick 1.1");
}

TEST_F(Startup, PicFolderAlreadyThere_GoesOnAsOnTheFirstStart) {
  p.folders.insert("C:\\Tools\\pic");
  RunStartup(p, s);
  EXPECT_EQ(p.caption, "Snapwick 1.1 (HotKey:F8)");
  EXPECT_EQ(p.comboItems.size(), 10u);
}

TEST_F(Startup, SecondCopy_ClosesAtOnceAndTouchesNothing) {
  p.previousInstance = true;
  RunStartup(p, s);
  EXPECT_EQ(p.Names(), (std::vector<std::string>{"PreviousInstanceRunning", "CloseFrm"}));

  // The close that follows runs the close path with nothing registered.
  EXPECT_FALSE(RunClosePath(p, s, CloseOrigin::Program));
  ASSERT_EQ(p.trayCalls.size(), 1u);
  EXPECT_EQ(p.trayCalls[0].first, TrayOp::Delete);
  EXPECT_EQ(p.trayCalls[0].second, TrayData{});
  EXPECT_EQ(p.calls.back().detail, "0");  // UnhookWindowsHookEx(0)
}

// Every call start-up makes fails in turn: start-up still reaches the end
// and still loads the settings.
TEST_F(Startup, AnyOneCallFailing_StartupStillLoadsSettings) {
  FakePlatform probe;
  AppState probeState;
  WinProc = {};
  RunStartup(probe, probeState);
  const auto probed = probe.Names();
  std::set<std::string> names(probed.begin(), probed.end());
  names.erase("PreviousInstanceRunning");  // cannot fail: it answers yes or no

  for (const auto& name : names) {
    FakePlatform fp;
    AppState st;
    WinProc = {};
    fp.Fail(name, 1);
    RunStartup(fp, st);
    EXPECT_EQ(fp.comboItems.size(), name == "ComboAddItem" ? 9u : 10u) << name;
    EXPECT_NE(fp.IndexOf("FileLength"), -1) << name;
    EXPECT_EQ(WinProc.HotKey, 119) << name;
  }
}

TEST_F(Startup, HookCannotBeInstalled_HandleStaysZero) {
  p.Fail("SetWindowsHookEx");
  RunStartup(p, s);
  EXPECT_EQ(WinProc.HookHandle, 0u);
  EXPECT_EQ(p.caption, "Snapwick 1.1 (HotKey:F8)");
}

TEST_F(Startup, NoExecutableFolder_FoldersStayEmptyAndStartupGoesOn) {
  p.Fail("ExeFolder");
  RunStartup(p, s);
  EXPECT_EQ(s.AppFolder, "");
  EXPECT_EQ(s.PicFolder, "");
  EXPECT_EQ(p.caption, "Snapwick 1.1 (HotKey:F8)");
}

using ClosePath = AppTest;

TEST_F(ClosePath, UserClose_HidesAndKeepsRunning) {
  RunStartup(p, s);
  p.calls.clear();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(RunClosePath(p, s, CloseOrigin::User));
  EXPECT_FALSE(p.visible);
  EXPECT_EQ(p.Count("NotifyIcon"), 0);
  EXPECT_EQ(p.Count("UnhookWindowsHookEx"), 0);
}

TEST_F(ClosePath, EveryOtherOrigin_RemovesIconThenHookAndCloses) {
  for (const auto origin : {CloseOrigin::Program, CloseOrigin::Session, CloseOrigin::Task}) {
    FakePlatform fp;
    AppState st;
    WinProc = {};
    RunStartup(fp, st);
    fp.calls.clear();
    fp.visible = false;
    EXPECT_FALSE(RunClosePath(fp, st, origin));
    EXPECT_EQ(fp.Names(), (std::vector<std::string>{"NotifyIcon", "UnhookWindowsHookEx"}));
    EXPECT_EQ(fp.trayCalls.back().first, TrayOp::Delete);
    EXPECT_EQ(fp.trayCalls.back().second, st.TrayData);
    EXPECT_EQ(fp.calls.back().detail, std::to_string(fp.hookHandle));
  }
}

TEST_F(ClosePath, RemovalCallsFailing_CloseGoesOn) {
  RunStartup(p, s);
  p.Fail("NotifyIcon");
  p.Fail("UnhookWindowsHookEx");
  EXPECT_FALSE(RunClosePath(p, s, CloseOrigin::Session));
}

TEST_F(ClosePath, ExitButtonAndMenu_CloseFromCode) {
  Frm frm(p);
  frm.OnClick(ControlId::Cmd1);
  frm.OnMenuClick(MenuItemId::Exit);
  EXPECT_EQ(p.Count("CloseFrm"), 2);
  EXPECT_EQ(p.Names().size(), 2u);
}

}  // namespace
}  // namespace snapwick::testing
