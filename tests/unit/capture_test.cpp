#include <algorithm>

#include "app_fixture.h"
#include "capture/capture.h"
#include "capture/screen_save.h"
#include "capture/shot_name.h"

namespace snapwick::testing {
namespace {

class Capture : public AppTest {
 protected:
  Capture() {
    s.PicFolder = "C:\\Tools\\pic";
    s.WavFolder = "C:\\Tools\\wav\\";
    s.Quality = 80;
    s.SoundOn = 1;
    p.folders.insert(s.PicFolder);
    WinProc.HotKey = 119;
  }
  const std::string firstShot = "C:\\Tools\\pic\\06.12.2026_11.05.13_1.jpg";
};

TEST_F(Capture, Tick_NoHotKey_DoesNotEvenAsk) {
  WinProc.HotKey = 0;
  p.keyStates[0] = static_cast<std::int16_t>(0x8000);
  TimerTick(p, s);
  EXPECT_TRUE(p.calls.empty());
}

TEST_F(Capture, Tick_KeyUp_AsksOnceAndShootsNothing) {
  p.keyStates[119] = 0x0001;  // pressed since the last query, up now
  TimerTick(p, s);
  EXPECT_EQ(p.Names(), std::vector<std::string>{"GetAsyncKeyState"});
  EXPECT_EQ(p.calls[0].detail, "119");
}

TEST_F(Capture, Tick_KeyDown_SavesTheShotAndPlaysTheShutter) {
  p.keyStates[119] = static_cast<std::int16_t>(0x8000);
  TimerTick(p, s);
  EXPECT_TRUE(p.files.count(firstShot));
  EXPECT_EQ(p.soundsPlayed, std::vector<std::string>{"C:\\Tools\\wav\\2.wav"});
  EXPECT_EQ(s.ShotCount, 1);
}

TEST_F(Capture, KeyHeld_OneShotPerTickWithConsecutiveCounters) {
  p.keyStates[119] = static_cast<std::int16_t>(0x8001);
  for (int i = 0; i < 3; ++i) TimerTick(p, s);
  EXPECT_TRUE(p.files.count("C:\\Tools\\pic\\06.12.2026_11.05.13_1.jpg"));
  EXPECT_TRUE(p.files.count("C:\\Tools\\pic\\06.12.2026_11.05.13_2.jpg"));
  EXPECT_TRUE(p.files.count("C:\\Tools\\pic\\06.12.2026_11.05.13_3.jpg"));
  EXPECT_EQ(p.soundsPlayed.size(), 3u);
}

TEST_F(Capture, Shot_CopiesTheWholeScreenIntoTheCanvas) {
  p.screenW = 2560;
  p.screenH = 1440;
  ASSERT_FALSE(CaptureScreen(p, s));
  EXPECT_EQ(s.ScreenW, 2560);
  EXPECT_EQ(s.ScreenH, 1440);
  EXPECT_EQ(p.canvasW, 2560);
  EXPECT_EQ(p.canvasH, 1440);
  EXPECT_EQ(p.calls[p.IndexOf("BitBlt")].detail,
            "0x3000 0,0 2560x1440 from 0x4000 0,0 rop 0xcc0020");
  EXPECT_EQ(p.calls[p.IndexOf("GdipCreateBitmapFromHBITMAP")].detail,
            std::to_string(p.canvasBitmap) + " 0");
  EXPECT_EQ(p.screenDCs, 0);
  // The screen DC goes back right after the copy, before the save.
  EXPECT_LT(p.IndexOf("ReleaseScreenDC"), p.IndexOf("CanvasImage"));
  // The clock is read after the copy and before the save.
  EXPECT_LT(p.IndexOf("BitBlt"), p.IndexOf("LocalNow"));
  EXPECT_LT(p.IndexOf("LocalNow"), p.IndexOf("GdiplusStartup"));
}

TEST_F(Capture, Shot_ResolutionChange_NextShotHasTheNewSize) {
  ASSERT_FALSE(CaptureScreen(p, s));
  p.screenW = 1280;
  p.screenH = 720;
  ASSERT_FALSE(CaptureScreen(p, s));
  EXPECT_EQ(p.canvasW, 1280);
  EXPECT_EQ(p.canvasH, 720);
}

// Each canvas step failing ends the shot there: nothing after it runs, and
// the screen's device context is given back all the same.
TEST_F(Capture, Shot_FailingCanvasStep_EndsTheShotThere) {
  const char* steps[] = {"ClearCanvas", "SetCanvasPersistent", "ResizeCanvas", "CanvasDC",
                         "CanvasImage"};
  for (const char* step : steps) {
    FakePlatform fp;
    fp.folders.insert(s.PicFolder);
    AppState st = s;
    fp.Fail(step);
    const Failure error = CaptureScreen(fp, st);
    ASSERT_TRUE(error) << step;
    // After the failing step only the screen's device context goes back.
    const auto names = fp.Names();
    std::vector<std::string> after(names.begin() + fp.IndexOf(step) + 1, names.end());
    after.erase(std::remove(after.begin(), after.end(), "ReleaseScreenDC"), after.end());
    EXPECT_TRUE(after.empty()) << step << " then " << after.front();
    EXPECT_EQ(fp.Count("LocalNow"), 0) << step;
    EXPECT_EQ(fp.Count("GdiplusStartup"), 0) << step;
    EXPECT_TRUE(fp.soundsPlayed.empty()) << step;
    EXPECT_EQ(fp.screenDCs, 0) << step;
    EXPECT_EQ(st.ShotCount, 0) << step;
  }
}

TEST_F(Capture, Shot_ScreenDCOrCopyFailing_SavesWhatTheCanvasHolds) {
  p.Fail("GetScreenDC");
  p.Fail("BitBlt");
  EXPECT_FALSE(CaptureScreen(p, s));
  EXPECT_TRUE(p.files.count(firstShot));
  EXPECT_EQ(p.screenDCs, 0);
}

TEST_F(Capture, Shot_SaveFails_NoSoundNoFileCounterUsedUp) {
  p.folders.erase(s.PicFolder);  // the folder was removed while running
  p.keyStates[119] = static_cast<std::int16_t>(0x8000);
  TimerTick(p, s);
  EXPECT_TRUE(p.files.empty());
  EXPECT_TRUE(p.soundsPlayed.empty());
  EXPECT_EQ(p.gdiplusSessions, 0);
  EXPECT_EQ(p.gdiplusBitmaps, 0);

  p.folders.insert(s.PicFolder);
  TimerTick(p, s);
  EXPECT_TRUE(p.files.count("C:\\Tools\\pic\\06.12.2026_11.05.13_2.jpg"));
}

TEST_F(Capture, Shot_SoundOff_Silent) {
  s.SoundOn = 0;
  EXPECT_FALSE(CaptureScreen(p, s));
  EXPECT_TRUE(p.files.count(firstShot));
  EXPECT_TRUE(p.soundsPlayed.empty());
}

TEST_F(Capture, Shot_QualityInForceReachesTheEncoder) {
  for (int q : {10, 30, 80, 100}) {
    s.Quality = static_cast<std::uint8_t>(q);
    EXPECT_FALSE(CaptureScreen(p, s));
    EXPECT_EQ(p.savedQuality, static_cast<std::uint32_t>(q));
  }
}

}  // namespace
}  // namespace snapwick::testing
