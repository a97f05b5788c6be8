#include <algorithm>
#include <set>

#include "app/folders.h"
#include "app_fixture.h"

namespace snapwick::testing {
namespace {

TEST(DeriveFolders, EitherSeparator_FolderOrRoot_NoTrailingSeparator) {
  struct Case {
    const char* exeFolder;
    char separator;
    const char* app;
    const char* pic;
    const char* wav;
  } cases[] = {
      {"C:\\Tools", '\\', "C:\\Tools", "C:\\Tools\\pic", "C:\\Tools\\wav\\"},
      {"E:\\", '\\', "E:", "E:\\pic", "E:\\wav\\"},
      {"D:\\Снимки экрана", '\\', "D:\\Снимки экрана", "D:\\Снимки экрана\\pic",
       "D:\\Снимки экрана\\wav\\"},
      {"/home/ann/snapwick", '/', "/home/ann/snapwick", "/home/ann/snapwick/pic",
       "/home/ann/snapwick/wav/"},
      {"/opt/snap wick/", '/', "/opt/snap wick", "/opt/snap wick/pic", "/opt/snap wick/wav/"},
      // A backslash is an ordinary character in a Linux folder's name.
      {"/tmp/a\\b", '/', "/tmp/a\\b", "/tmp/a\\b/pic", "/tmp/a\\b/wav/"},
  };
  for (const auto& c : cases) {
    const Folders f = DeriveFolders(c.exeFolder, c.separator);
    EXPECT_EQ(f.app, c.app) << c.exeFolder;
    EXPECT_EQ(f.pic, c.pic) << c.exeFolder;
    EXPECT_EQ(f.wav, c.wav) << c.exeFolder;
  }
}

using Startup = StartedProgram;

TEST_F(Startup, FirstRun_SetsUpEverythingInOrder) {
  logic.OnStart();

  EXPECT_EQ(state().appFolder, "C:\\Tools");
  EXPECT_EQ(state().picFolder, "C:\\Tools\\pic");
  EXPECT_EQ(state().wavFolder, "C:\\Tools\\wav\\");
  EXPECT_EQ(p.texts[ControlId::ShotFolderLabel], "C:\\Tools\\pic");
  EXPECT_TRUE(p.folders.count("C:\\Tools\\pic"));
  EXPECT_EQ(p.trayIcon, " Snapwick           ");
  EXPECT_TRUE(p.capturingKeys);
  EXPECT_EQ(state().titleText, "Snapwick 1.1");
  EXPECT_EQ(p.title, "Snapwick 1.1 (HotKey:F8)");
  EXPECT_EQ(state().hotkey.hotKey, 119);
  EXPECT_EQ(p.qualityItems.size(), 10u);

  // Tray, key capture, folders, title, settings: in this order.
  const int order[] = {p.IndexOf("AddTrayIcon"),   p.IndexOf("SetKeyCapture"),
                       p.IndexOf("ProgramFolder"), p.IndexOf("PrepareFolder"),
                       p.IndexOf("SetTitle"),      p.IndexOf("AddQualityItem")};
  EXPECT_TRUE(std::is_sorted(std::begin(order), std::end(order)));
  EXPECT_EQ(p.calls[p.IndexOf("SetTitle")].detail, "Snapwick 1.1");
}

TEST_F(Startup, LinuxFolder_PathsJoinedWithItsSeparator) {
  p.separator = '/';
  p.programFolder = "/home/ann/Снимки";
  p.folders = {"/home/ann/Снимки"};
  logic.OnStart();
  EXPECT_EQ(p.texts[ControlId::ShotFolderLabel], "/home/ann/Снимки/pic");
  EXPECT_TRUE(p.folders.count("/home/ann/Снимки/pic"));
  EXPECT_EQ(p.calls[p.IndexOf("ReadFile")].detail, "/home/ann/Снимки/set.ini");
}

TEST_F(Startup, PicFolderAlreadyThere_GoesOnAsOnTheFirstStart) {
  p.folders.insert("C:\\Tools\\pic");
  logic.OnStart();
  EXPECT_EQ(p.title, "Snapwick 1.1 (HotKey:F8)");
  EXPECT_EQ(p.qualityItems.size(), 10u);
}

TEST_F(Startup, SecondCopy_ClosesAtOnceAndTouchesNothing) {
  p.anotherInstance = true;
  logic.OnStart();
  EXPECT_EQ(p.Names(), (std::vector<std::string>{"AnotherInstanceRunning", "CloseWindow"}));

  // The close that follows removes nothing that was never added.
  EXPECT_FALSE(logic.OnCloseRequest(CloseOrigin::Program));
  EXPECT_FALSE(p.trayIcon);
  // Nor does the key capture run, so no tick or key reaches anything.
  EXPECT_EQ(state().hotkey.hotKey, 0);
}

// Every call start-up makes fails in turn: start-up still reaches the end
// and still loads the settings.
TEST_F(Startup, AnyOneCallFailing_StartupStillLoadsSettings) {
  FakePlatform probe;
  MainWindowLogic(probe).OnStart();
  std::set<std::string> names;
  for (const auto& name : probe.Names()) names.insert(name);
  names.erase("AnotherInstanceRunning");  // cannot fail: it answers yes or no

  for (const auto& name : names) {
    FakePlatform fp;
    MainWindowLogic each(fp);
    fp.Fail(name, 1);
    each.OnStart();
    EXPECT_EQ(fp.qualityItems.size(), name == "AddQualityItem" ? 9u : 10u) << name;
    EXPECT_NE(fp.IndexOf("ReadFile"), -1) << name;
    EXPECT_EQ(each.State().hotkey.hotKey, 119) << name;
    // The key is watched last, once the settings have named it.
    EXPECT_EQ(fp.watchedKey, name == "WatchHotkey" ? 0 : 119) << name;
  }
}

TEST_F(Startup, NoProgramFolder_FoldersStayEmptyAndStartupGoesOn) {
  p.Fail("ProgramFolder");
  logic.OnStart();
  EXPECT_EQ(state().appFolder, "");
  EXPECT_EQ(state().picFolder, "");
  EXPECT_EQ(p.title, "Snapwick 1.1 (HotKey:F8)");
}

using ClosePath = StartedProgram;

TEST_F(ClosePath, UserClose_HidesAndKeepsRunning) {
  Start();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(logic.OnCloseRequest(CloseOrigin::User));
  EXPECT_FALSE(p.shown);
  EXPECT_TRUE(p.trayIcon);
  EXPECT_TRUE(p.capturingKeys);
  EXPECT_EQ(p.Names(), std::vector<std::string>(3, "HideWindow"));
}

TEST_F(ClosePath, EveryOtherOrigin_RemovesIconKeyCaptureAndHotkeyAndCloses) {
  for (const auto origin :
       {CloseOrigin::Program, CloseOrigin::Session, CloseOrigin::OtherProgram}) {
    FakePlatform fp;
    MainWindowLogic each(fp);
    each.OnStart();
    fp.calls.clear();
    fp.shown = false;
    EXPECT_FALSE(each.OnCloseRequest(origin));
    EXPECT_EQ(fp.Names(),
              (std::vector<std::string>{"RemoveTrayIcon", "SetKeyCapture", "WatchHotkey",
                                        "SetTicking", "SetScreenWanted"}));
    EXPECT_FALSE(fp.trayIcon);
    EXPECT_FALSE(fp.capturingKeys);
    EXPECT_EQ(fp.watchedKey, 0);
  }
}

TEST_F(ClosePath, RemovalsFailing_CloseGoesOn) {
  Start();
  for (const char* name : {"RemoveTrayIcon", "SetKeyCapture", "WatchHotkey"}) p.Fail(name);
  EXPECT_FALSE(logic.OnCloseRequest(CloseOrigin::Session));
  EXPECT_EQ(p.Count("SetTicking"), 1);
  EXPECT_FALSE(p.ticking);
}

TEST_F(ClosePath, ExitButtonAndExitItem_CloseFromCode) {
  Start();
  logic.OnClick(ControlId::ExitButton);
  logic.OnMenuItem(MenuItemId::ExitItem);
  EXPECT_EQ(p.Names(), (std::vector<std::string>{"CloseWindow", "CloseWindow"}));
}

}  // namespace
}  // namespace snapwick::testing
