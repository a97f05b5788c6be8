#include <set>

#include "app_fixture.h"
#include "capture/capture.h"
#include "capture/jpeg_save.h"
#include "capture/shot_name.h"

namespace snapwick::testing {
namespace {

TEST(FormatShotName, WorkedExamplesPaddingAndEitherSeparator) {
  struct Case {
    LocalDateTime t;
    int counter;
    char separator;
    const char* name;
  } cases[] = {
      {{2026, 12, 6, 11, 5, 13}, 1, '\\', "\\06.12.2026_11.05.13_1.jpg"},
      {{2012, 3, 5, 9, 7, 3}, 12, '\\', "\\05.03.2012_09.07.03_12.jpg"},
      {{2012, 11, 23, 17, 45, 30}, 1, '\\', "\\23.11.2012_17.45.30_1.jpg"},
      {{2013, 2, 1, 8, 5, 9}, 3, '\\', "\\01.02.2013_08.05.09_3.jpg"},
      {{2026, 1, 1, 0, 0, 1}, 7, '\\', "\\01.01.2026_00.00.01_7.jpg"},
      {{999, 1, 1, 0, 0, 0}, 32767, '\\', "\\01.01.999_00.00.00_32767.jpg"},
      {{2026, 12, 6, 11, 5, 13}, 40000, '/', "/06.12.2026_11.05.13_40000.jpg"},
      {{2013, 2, 1, 8, 5, 9}, 3, '/', "/01.02.2013_08.05.09_3.jpg"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatShotName(c.t, c.counter, c.separator), c.name);
}

class Capture : public AppTest {
 protected:
  Capture() {
    s.picFolder = "C:\\Tools\\pic";
    s.wavFolder = "C:\\Tools\\wav\\";
    s.quality = 80;
    s.soundOn = 1;
    s.hotkey.hotKey = 119;
    p.folders.insert(s.picFolder);
  }
  static std::string Shot(int counter) {
    return "C:\\Tools\\pic\\06.12.2026_11.05.13_" + std::to_string(counter) + ".jpg";
  }
};

TEST_F(Capture, Tick_NoHotKey_DoesNotEvenAsk) {
  s.hotkey.hotKey = 0;
  p.keysDown = {0};
  TimerTick(p, s);
  EXPECT_TRUE(p.calls.empty());
}

TEST_F(Capture, Tick_KeyUp_AsksOnceAndShootsNothing) {
  p.keysDown = {118};  // another key
  TimerTick(p, s);
  EXPECT_EQ(p.Names(), std::vector<std::string>{"IsKeyDown"});
  EXPECT_EQ(p.calls[0].detail, "119");
}

TEST_F(Capture, KeyHeld_OneShotPerTickWithConsecutiveCountersAndAShutterEach) {
  p.keysDown = {119};
  for (int i = 0; i < 3; ++i) TimerTick(p, s);
  for (int i = 1; i <= 3; ++i) EXPECT_TRUE(p.files.count(Shot(i))) << i;
  EXPECT_EQ(p.soundsPlayed, std::vector<std::string>(3, "C:\\Tools\\wav\\2.wav"));
  EXPECT_EQ(s.shotCount, 3);
}

TEST_F(Capture, Shot_TheGrabbedImageIsWhatIsSavedAtTheQualityInForce) {
  p.screenWidth = 2560;
  p.screenHeight = 1440;
  for (int q : {10, 30, 80, 100, 255}) {
    s.quality = static_cast<std::uint8_t>(q);
    ASSERT_FALSE(CaptureScreen(p, s));
    EXPECT_EQ(p.jpegWrites.back().quality, q);
  }
  EXPECT_EQ(s.screenWidth, 2560);
  EXPECT_EQ(s.screenHeight, 1440);
  // Each save writes the image of its own grab.
  std::set<std::uintptr_t> images;
  for (const auto& w : p.jpegWrites) images.insert(w.image);
  EXPECT_EQ(images.size(), p.jpegWrites.size());
  // The clock is read after the copy and before the save.
  EXPECT_LT(p.IndexOf("GrabScreen"), p.IndexOf("LocalNow"));
  EXPECT_LT(p.IndexOf("LocalNow"), p.IndexOf("WriteJpeg"));
}

TEST_F(Capture, Shot_ResolutionChange_NextShotHasTheNewSize) {
  ASSERT_FALSE(CaptureScreen(p, s));
  p.screenWidth = 1280;
  p.screenHeight = 720;
  ASSERT_FALSE(CaptureScreen(p, s));
  EXPECT_EQ(s.screenWidth, 1280);
  EXPECT_EQ(s.screenHeight, 720);
}

// No copy of the screen: no file, no sound, and the counter value is kept
// for the next shot that has a picture.
TEST_F(Capture, Shot_ScreenCannotBeCopied_NothingSavedNoSoundNoCounter) {
  p.keysDown = {119};
  p.Fail("GrabScreen", 1);
  TimerTick(p, s);
  EXPECT_TRUE(p.files.empty());
  EXPECT_TRUE(p.soundsPlayed.empty());
  EXPECT_EQ(p.Count("WriteJpeg"), 0);
  EXPECT_EQ(s.shotCount, 0);

  p.screenWidth = 0;  // a screen of no size is no picture either
  EXPECT_TRUE(CaptureScreen(p, s));
  EXPECT_EQ(s.shotCount, 0);

  p.screenWidth = 1920;
  TimerTick(p, s);
  EXPECT_TRUE(p.files.count(Shot(1)));
}

TEST_F(Capture, Shot_SaveFails_NoSoundNoFileCounterUsedUp) {
  p.keysDown = {119};
  p.folders.erase(s.picFolder);  // the folder was removed while running
  TimerTick(p, s);
  EXPECT_TRUE(p.files.empty());
  EXPECT_TRUE(p.soundsPlayed.empty());

  p.folders.insert(s.picFolder);
  TimerTick(p, s);
  EXPECT_TRUE(p.files.count(Shot(2)));
  EXPECT_EQ(p.soundsPlayed.size(), 1u);
}

TEST_F(Capture, Shot_SoundOff_Silent) {
  s.soundOn = 0;
  EXPECT_FALSE(CaptureScreen(p, s));
  EXPECT_TRUE(p.files.count(Shot(1)));
  EXPECT_TRUE(p.soundsPlayed.empty());
}

TEST_F(Capture, Shot_SoundFailing_ShotStillCounts) {
  p.Fail("PlaySound");
  EXPECT_FALSE(CaptureScreen(p, s));
  EXPECT_TRUE(p.files.count(Shot(1)));
}

TEST_F(Capture, SaveJpeg_FailureCarriesTheStatusAndLeavesNoPartialFile) {
  p.jpegStatus = 2;
  p.failedJpegLeavesFile = true;
  const Failure error = SaveJpeg(p, ScreenImage{1, 10, 10}, Shot(1), 80);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->number, 5);
  EXPECT_EQ(error->description, "Cannot save the image. GDI+ Error:2");
  EXPECT_FALSE(p.files.count(Shot(1)));

  // A file that was there before is not the save's to remove.
  p.files[Shot(1)] = {1, 2, 3};
  EXPECT_TRUE(SaveJpeg(p, ScreenImage{1, 10, 10}, Shot(1), 80));
  EXPECT_EQ(p.files[Shot(1)], (std::vector<std::uint8_t>{0xFF, 0xD8}));

  p.jpegStatus = 0;
  p.folders.erase(s.picFolder);
  EXPECT_EQ(SaveJpeg(p, ScreenImage{1, 10, 10}, Shot(2), 80)->description,
            "Cannot save the image. GDI+ Error:7");
}

class ShotName : public AppTest {
 protected:
  ShotName() { s.picFolder = "C:\\Tools\\pic"; }
};

TEST_F(ShotName, CounterRaisedBeforeUseAndClockReadOnceAName) {
  EXPECT_EQ(MakeShotName(p, s), "\\06.12.2026_11.05.13_1.jpg");
  EXPECT_EQ(MakeShotName(p, s), "\\06.12.2026_11.05.13_2.jpg");
  EXPECT_EQ(p.Count("LocalNow"), 2);
}

TEST_F(ShotName, PastTheSixteenBitLimit_KeepsCounting) {
  s.shotCount = 32766;
  EXPECT_EQ(MakeShotName(p, s), "\\06.12.2026_11.05.13_32767.jpg");
  EXPECT_EQ(MakeShotName(p, s), "\\06.12.2026_11.05.13_32768.jpg");
}

TEST_F(ShotName, ExistingFiles_PassedOverForTheNextCounter) {
  // A restart within the same second finds the earlier run's shots.
  p.files["C:\\Tools\\pic\\06.12.2026_11.05.13_1.jpg"] = {1};
  p.files["C:\\Tools\\pic\\06.12.2026_11.05.13_2.jpg"] = {1};
  EXPECT_EQ(MakeShotName(p, s), "\\06.12.2026_11.05.13_3.jpg");
  EXPECT_EQ(s.shotCount, 3);

  // Anything else holding the name, such as a folder, takes it as well.
  p.folders.insert("C:\\Tools\\pic\\06.12.2026_11.05.13_4.jpg");
  EXPECT_EQ(MakeShotName(p, s), "\\06.12.2026_11.05.13_5.jpg");

  p.separator = '/';
  s.picFolder = "/home/ann/pic";
  p.files["/home/ann/pic/06.12.2026_11.05.13_6.jpg"] = {1};
  EXPECT_EQ(MakeShotName(p, s), "/06.12.2026_11.05.13_7.jpg");
}

TEST_F(ShotName, ClockUnreadable_StillGivesAName) {
  p.Fail("LocalNow");
  EXPECT_EQ(MakeShotName(p, s), "\\00.00.0_00.00.00_1.jpg");
}

}  // namespace
}  // namespace snapwick::testing
