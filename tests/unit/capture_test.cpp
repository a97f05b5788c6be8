#include <cmath>

#include "app_fixture.h"
#include "capture/capture.h"
#include "capture/shot_name.h"
#include "decoded_jpeg.h"

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

// The most a shot may be from its picture, as a root mean square over 0 to
// 1: the fake's pictures have sharp colour edges, which 4:2:0 blurs.
constexpr double kNear = 0.08;

class Shot : public AppTest {
 protected:
  Shot() {
    s.picFolder = "C:\\Tools\\pic";
    s.wavFolder = "C:\\Tools\\wav\\";
    s.quality = 80;
    s.soundOn = 1;
    s.hotkey.hotKey = 119;
    p.folders.insert(s.picFolder);
  }
  static std::string Name(int counter) {
    return "C:\\Tools\\pic\\06.12.2026_11.05.13_" + std::to_string(counter) + ".jpg";
  }
  // How far the file's pixels are from the `grab`-th picture the fake
  // handed out, as a root mean square over 0 to 1.
  double Distance(const std::string& file, int grab) {
    const DecodedJpeg d = DecodeJpeg(p.files[file]);
    if (d.bgrx.empty() || d.width != p.screenWidth || d.height != p.screenHeight) return 1;
    double sum = 0;
    for (int y = 0; y < d.height; ++y) {
      for (int x = 0; x < d.width; ++x) {
        const auto want = FakePlatform::FramePixel(grab, x, y);
        for (int c = 0; c < 3; ++c) {
          const double e = (d.bgrx[static_cast<std::size_t>((y * d.width + x) * 4 + c)] -
                            want[static_cast<std::size_t>(c)]) /
                           255.0;
          sum += e * e;
        }
      }
    }
    return std::sqrt(sum / (3.0 * d.width * d.height));
  }

  Capture capture{false};
};

TEST_F(Shot, FileHoldsTheGrabbedPicture_WhateverTheFramesLayoutAndRowOrder) {
  int grab = 0;
  for (auto layout : {PixelLayout::Bgrx, PixelLayout::Rgbx, PixelLayout::Xrgb, PixelLayout::Xbgr}) {
    for (bool bottomUp : {false, true}) {
      p.layout = layout;
      p.bottomUp = bottomUp;
      ASSERT_FALSE(capture.CaptureScreen(p, s));
      ++grab;
      EXPECT_LT(Distance(Name(grab), grab), kNear) << static_cast<int>(layout) << bottomUp;
      // A neighbouring picture is far: the check can tell pictures apart.
      EXPECT_GT(Distance(Name(grab), grab + 1), 3 * kNear);
    }
  }
  EXPECT_EQ(p.soundsPlayed, std::vector<std::string>(8, "C:\\Tools\\wav\\2.wav"));
}

TEST_F(Shot, QualityInForce_ChangesTheFile) {
  std::vector<std::size_t> sizes;
  for (int q : {10, 50, 100}) {
    s.quality = static_cast<std::uint8_t>(q);
    ASSERT_FALSE(capture.CaptureScreen(p, s));
    sizes.push_back(p.files[Name(static_cast<int>(sizes.size()) + 1)].size());
  }
  EXPECT_LT(sizes[0], sizes[1]);
  EXPECT_LT(sizes[1], sizes[2]);
}

TEST_F(Shot, ResolutionChange_NextShotHasTheNewSize) {
  ASSERT_FALSE(capture.CaptureScreen(p, s));
  p.screenWidth = 40;
  p.screenHeight = 24;
  ASSERT_FALSE(capture.CaptureScreen(p, s));
  EXPECT_EQ(s.screenWidth, 40);
  EXPECT_EQ(s.screenHeight, 24);
  EXPECT_EQ(DecodeJpeg(p.files[Name(2)]).width, 40);
  // The clock is read after the copy and before the save.
  EXPECT_LT(p.IndexOf("GrabScreen"), p.IndexOf("LocalNow"));
  EXPECT_LT(p.IndexOf("LocalNow"), p.IndexOf("WriteNewFile"));
}

// No copy of the screen: no file, no sound, and the counter value is kept
// for the next shot that has a picture.
TEST_F(Shot, ScreenCannotBeCopied_NothingSavedNoSoundNoCounter) {
  p.Fail("GrabScreen", 1);
  EXPECT_EQ(capture.CaptureScreen(p, s)->number, kNoScreenErrorNumber);
  p.screenWidth = 0;  // a screen of no size is no picture either
  EXPECT_TRUE(capture.CaptureScreen(p, s));
  EXPECT_TRUE(p.files.empty());
  EXPECT_TRUE(p.soundsPlayed.empty());
  EXPECT_EQ(p.Count("WriteNewFile"), 0);
  EXPECT_EQ(s.shotCount, 0);

  p.screenWidth = 64;
  ASSERT_FALSE(capture.CaptureScreen(p, s));
  EXPECT_TRUE(p.files.count(Name(1)));
}

TEST_F(Shot, SaveFails_NoFileNoSoundCounterUsedUp) {
  p.folders.erase(s.picFolder);  // the folder was removed while running
  const Failure error = capture.CaptureScreen(p, s);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->number, kSaveErrorNumber);
  EXPECT_EQ(error->description, "Cannot save the image: the file could not be written");
  EXPECT_TRUE(p.files.empty());
  EXPECT_TRUE(p.soundsPlayed.empty());

  p.folders.insert(s.picFolder);
  ASSERT_FALSE(capture.CaptureScreen(p, s));
  EXPECT_TRUE(p.files.count(Name(2)));
  EXPECT_EQ(p.soundsPlayed.size(), 1u);
}

TEST_F(Shot, SoundOffOrFailing_TheShotStillCounts) {
  s.soundOn = 0;
  EXPECT_FALSE(capture.CaptureScreen(p, s));
  EXPECT_TRUE(p.soundsPlayed.empty());
  s.soundOn = 1;
  p.Fail("PlaySound");
  EXPECT_FALSE(capture.CaptureScreen(p, s));
  EXPECT_TRUE(p.files.count(Name(1)) && p.files.count(Name(2)));
}

TEST_F(Shot, NamesTaken_PassedOverUntouchedForTheNextCounter) {
  // A restart within the same second finds the earlier run's shots, and
  // anything else holding a name, such as a folder, takes it as well.
  p.files[Name(1)] = {1};
  p.files[Name(2)] = {2};
  p.folders.insert(Name(3));
  ASSERT_FALSE(capture.CaptureScreen(p, s));
  EXPECT_EQ(s.shotCount, 4);
  EXPECT_EQ(p.files[Name(1)], std::vector<std::uint8_t>{1});
  EXPECT_EQ(p.files[Name(2)], std::vector<std::uint8_t>{2});
  EXPECT_LT(Distance(Name(4), 1), kNear);
  // One reading of the clock for the shot, however many names it tried.
  EXPECT_EQ(p.Count("LocalNow"), 1);

  p.separator = '/';
  s.picFolder = "/home/ann/pic";
  p.folders.insert(s.picFolder);
  p.files["/home/ann/pic/06.12.2026_11.05.13_5.jpg"] = {5};
  ASSERT_FALSE(capture.CaptureScreen(p, s));
  EXPECT_TRUE(p.files.count("/home/ann/pic/06.12.2026_11.05.13_6.jpg"));
}

TEST_F(Shot, LastCounterValueTaken_NothingReplacedAndNoSound) {
  s.shotCount = std::numeric_limits<std::int32_t>::max() - 1;
  const std::string last = "C:\\Tools\\pic\\06.12.2026_11.05.13_2147483647.jpg";
  p.files[last] = {7};
  EXPECT_EQ(capture.CaptureScreen(p, s)->description, "Cannot save the image: every name is taken");
  EXPECT_EQ(p.files[last], std::vector<std::uint8_t>{7});
  EXPECT_TRUE(p.soundsPlayed.empty());
}

TEST_F(Shot, ClockUnreadable_StillAName) {
  p.Fail("LocalNow");
  ASSERT_FALSE(capture.CaptureScreen(p, s));
  EXPECT_TRUE(p.files.count("C:\\Tools\\pic\\00.00.0_00.00.00_1.jpg"));
}

TEST_F(Shot, PastTheSixteenBitLimit_KeepsCounting) {
  s.shotCount = 32766;
  ASSERT_FALSE(capture.CaptureScreen(p, s));
  ASSERT_FALSE(capture.CaptureScreen(p, s));
  EXPECT_TRUE(p.files.count(Name(32767)) && p.files.count(Name(32768)));
}

TEST_F(Shot, TwoStrips_TheGrabbedPictureWithTheRowsInEitherOrder) {
  p.screenWidth = 320;
  p.screenHeight = 272;  // tall enough to be split
  Capture strips{true};
  // Strips are joined at a restart interval, which the one-strip file has
  // no need of.
  auto hasRestartInterval = [](const std::vector<std::uint8_t>& f) {
    for (std::size_t i = 0; i + 1 < f.size() && !(f[i] == 0xFF && f[i + 1] == 0xDA); ++i) {
      if (f[i] == 0xFF && f[i + 1] == 0xDD) return true;
    }
    return false;
  };
  for (bool bottomUp : {false, true}) {
    p.bottomUp = bottomUp;
    ASSERT_FALSE(strips.CaptureScreen(p, s));
    const int n = s.shotCount;
    EXPECT_TRUE(hasRestartInterval(p.files[Name(n)])) << bottomUp;
    EXPECT_LT(Distance(Name(n), n), kNear) << bottomUp;
  }
  ASSERT_FALSE(capture.CaptureScreen(p, s));
  EXPECT_FALSE(hasRestartInterval(p.files[Name(3)]));
}

}  // namespace
}  // namespace snapwick::testing
