#include "app_fixture.h"
#include "capture/shot_name.h"

namespace snapwick::testing {
namespace {

TEST(FormatShotName, WorkedExamplesAndPadding) {
  struct Case {
    LocalDateTime t;
    int counter;
    const char* name;
  } cases[] = {
      {{2026, 12, 6, 11, 5, 13}, 1, "\\06.12.2026_11.05.13_1.jpg"},
      {{2012, 3, 5, 9, 7, 3}, 12, "\\05.03.2012_09.07.03_12.jpg"},
      {{2012, 3, 5, 9, 7, 3}, 13, "\\05.03.2012_09.07.03_13.jpg"},
      {{2012, 11, 23, 17, 45, 30}, 1, "\\23.11.2012_17.45.30_1.jpg"},
      {{2013, 2, 1, 8, 5, 9}, 3, "\\01.02.2013_08.05.09_3.jpg"},
      {{2026, 1, 1, 0, 0, 1}, 7, "\\01.01.2026_00.00.01_7.jpg"},
      {{999, 1, 1, 0, 0, 0}, 32767, "\\01.01.999_00.00.00_32767.jpg"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatShotName(c.t, c.counter), c.name);
}

class ShotName : public AppTest {
 protected:
  ShotName() { s.PicFolder = "C:\\Tools\\pic"; }
};

TEST_F(ShotName, CounterRaisedBeforeUseAndClockReadOnce) {
  EXPECT_EQ(MakeShotName(p, s), "\\06.12.2026_11.05.13_1.jpg");
  EXPECT_EQ(MakeShotName(p, s), "\\06.12.2026_11.05.13_2.jpg");
  EXPECT_EQ(p.Count("LocalNow"), 2);
}

TEST_F(ShotName, PastTheSixteenBitLimit_KeepsCounting) {
  s.ShotCount = 32766;
  EXPECT_EQ(MakeShotName(p, s), "\\06.12.2026_11.05.13_32767.jpg");
  EXPECT_EQ(MakeShotName(p, s), "\\06.12.2026_11.05.13_32768.jpg");
  EXPECT_EQ(MakeShotName(p, s), "\\06.12.2026_11.05.13_32769.jpg");
}

TEST_F(ShotName, ExistingFiles_PassedOverForTheNextCounter) {
  // A restart within the same second finds the earlier run's shots.
  p.files["C:\\Tools\\pic\\06.12.2026_11.05.13_1.jpg"] = {1};
  p.files["C:\\Tools\\pic\\06.12.2026_11.05.13_2.jpg"] = {1};
  EXPECT_EQ(MakeShotName(p, s), "\\06.12.2026_11.05.13_3.jpg");
  EXPECT_EQ(s.ShotCount, 3);
  EXPECT_EQ(MakeShotName(p, s), "\\06.12.2026_11.05.13_4.jpg");
}

TEST_F(ShotName, ClockUnreadable_StillGivesAName) {
  p.Fail("LocalNow");
  EXPECT_EQ(MakeShotName(p, s), "\\00.00.0_00.00.00_1.jpg");
}

}  // namespace
}  // namespace snapwick::testing
