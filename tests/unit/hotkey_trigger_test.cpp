// The hotkey's shots over time: presses and releases at given moments, the
// ticks a platform would make while the program keeps them on, and the
// moments at which shots were taken.

#include <algorithm>
#include <map>
#include <vector>

#include "app_fixture.h"

namespace snapwick::testing {
namespace {

constexpr int kF8 = 119;
constexpr int kTick = 50;

class Timeline : public StartedProgram {
 protected:
  // The key goes down at `at` and up `length` ms later.
  void Press(int at, int length) {
    edges_.emplace(at, true);
    edges_.emplace(at + length, false);
  }
  // A down that comes again without an up, as a repeat would.
  void Repeat(int at) { edges_.emplace(at, true); }

  // Delivers the edges and ticks up to `until` and returns the moments of
  // the shots. An edge-reporting platform raises the edges as they happen;
  // one that looks at the key's state at ticks raises what it sees just
  // before the tick.
  std::vector<int> Run(int until) {
    Start();
    bool sampled = false;  // the key's state as the sampling platform last told it
    bool down = false;     // the key's real state
    auto edges = edges_.begin();
    int nextTick = -1;
    for (;;) {
      if (p.ticking && nextTick < 0) nextTick = p.tickingSince + kTick;
      if (!p.ticking) nextTick = -1;
      const int edgeAt = edges == edges_.end() ? until + 1 : edges->first;
      const bool tickFirst = nextTick >= 0 && nextTick < edgeAt;
      const int at = tickFirst ? nextTick : edgeAt;
      if (at > until) break;
      p.clock = at;
      if (!tickFirst) {
        down = edges->second;
        ++edges;
        if (p.hotkeyWatch == HotkeyWatch::Edges) Edge(down);
        continue;
      }
      nextTick += kTick;
      if (p.hotkeyWatch == HotkeyWatch::AtTicks && sampled != down) Edge(sampled = down);
      logic.OnTick();
    }
    return p.grabTimes;
  }

  static std::vector<int> Every(int from, int to, int step = kTick) {
    std::vector<int> times;
    for (int t = from; t <= to; t += step) times.push_back(t);
    return times;
  }

 private:
  void Edge(bool down) {
    if (down) {
      logic.OnHotkeyDown();
    } else {
      logic.OnHotkeyUp();
    }
  }
  std::multimap<int, bool> edges_;
};

TEST_F(Timeline, Tap_OneShotAtThePressAndNothingRunsAfterwards) {
  Press(100, 20);
  EXPECT_EQ(Run(1000), std::vector<int>{100});
  EXPECT_FALSE(p.ticking);
  EXPECT_EQ(p.Count("SetTicking"), 2);  // on at the press, off at the first empty tick
}

TEST_F(Timeline, Held_AShotAtThePressAndAtEveryTickWhileDown) {
  Press(0, 990);
  EXPECT_EQ(Run(3000), Every(0, 950));  // 20 shots in the second
  EXPECT_FALSE(p.ticking);
}

TEST_F(Timeline, RepeatsOfAHeldKey_AreNoPresses) {
  Press(0, 120);
  for (int t = 30; t < 120; t += 10) Repeat(t);
  // After the release a repeat that came late would be a press: none does.
  EXPECT_EQ(Run(1000), (std::vector<int>{0, 50, 100}));
}

TEST_F(Timeline, TapsFasterThanTheTick_NoMoreThanOneShotATick) {
  for (int t = 0; t < 200; t += 10) Press(t, 4);
  EXPECT_EQ(Run(1000), Every(0, 200));
}

TEST_F(Timeline, TapBetweenTwoTicks_LatchedForTheNextTick) {
  Press(0, 60);   // shots at 0 and 50
  Press(70, 10);  // down and up between the ticks at 50 and 100
  Press(300, 5);  // after the ticks stopped: at once again
  EXPECT_EQ(Run(1000), (std::vector<int>{0, 50, 100, 300}));
}

TEST_F(Timeline, Closed_NoWatchNoTicksNoShots) {
  Press(0, 110);
  EXPECT_EQ(Run(500).size(), 3u);
  EXPECT_EQ(p.watchedKey, kF8);

  logic.OnCloseRequest(CloseOrigin::Program);
  EXPECT_EQ(p.watchedKey, 0);
  EXPECT_FALSE(p.ticking);
  const auto grabs = p.grabs;
  logic.OnHotkeyDown();
  logic.OnTick();
  EXPECT_EQ(p.grabs, grabs);
}

TEST_F(Timeline, PlatformCannotWatchTheKey_NoShotsAndNoTicks) {
  p.hotkeyWatch = HotkeyWatch::None;
  Press(0, 500);
  EXPECT_TRUE(Run(1000).empty());
  EXPECT_EQ(p.Count("SetTicking"), 0);
}

TEST_F(Timeline, SampledKey_TicksRunAlwaysAndAShotPerTickThatSawItDown) {
  p.hotkeyWatch = HotkeyWatch::AtTicks;
  Press(120, 100);  // seen down at 150 and 200, up at 250
  Press(310, 20);   // between two looks: not seen, as a plain poll misses it
  EXPECT_EQ(Run(1000), (std::vector<int>{150, 200}));
  EXPECT_TRUE(p.ticking);
  EXPECT_EQ(p.tickingSince, 0);
}

TEST_F(Timeline, ShotsFail_TheTimelineGoesOnAsBefore) {
  p.Fail("GrabScreen", 2);
  p.Fail("WriteNewFile", 3);
  Press(0, 190);
  EXPECT_EQ(Run(1000).size(), 3u);  // the failed grab is no shot
  EXPECT_EQ(p.Count("WriteNewFile"), 3);
  EXPECT_EQ(p.files.count("C:\\Tools\\pic\\06.12.2026_11.05.13_2.jpg"), 1u);
  EXPECT_EQ(p.files.count("C:\\Tools\\pic\\06.12.2026_11.05.13_3.jpg"), 0u);
  EXPECT_FALSE(p.ticking);
}

TEST_F(Timeline, TickingRefused_EveryPressStillMakesItsShot) {
  p.Fail("SetTicking");
  Press(0, 500);
  Press(700, 10);
  // Without ticks a held key is one shot, and the next press a new one.
  EXPECT_EQ(Run(1000), (std::vector<int>{0, 700}));
}

class HotkeyWatching : public StartedProgram {};

TEST_F(HotkeyWatching, StartWatchesTheSettingsKeyAndApplyMovesTheWatch) {
  p.files["C:\\Tools\\set.ini"] = {80, 13, 10, 1, 13, 10, 0x74, 13, 10, 'F', '5'};
  logic.OnStart();
  EXPECT_EQ(p.watchedKey, 0x74);
  EXPECT_EQ(p.Count("WatchHotkey"), 1);
  EXPECT_FALSE(p.ticking);

  // Held while Apply changes the key: the old key's state is forgotten.
  logic.OnHotkeyDown();
  EXPECT_TRUE(p.ticking);
  logic.OnKeyReleased(kF8, "F8");
  logic.OnClick(ControlId::ApplyButton);
  EXPECT_EQ(p.watchedKey, kF8);
  EXPECT_FALSE(p.ticking);
  const int grabs = p.grabs;
  logic.OnTick();
  EXPECT_EQ(p.grabs, grabs);

  // Apply with the same key asks nothing new.
  logic.OnClick(ControlId::ApplyButton);
  EXPECT_EQ(p.Count("WatchHotkey"), 2);
}

TEST_F(HotkeyWatching, SecondCopy_NeverWatchesAnything) {
  p.anotherInstance = true;
  logic.OnStart();
  EXPECT_EQ(p.Count("WatchHotkey"), 0);
  EXPECT_EQ(p.Count("SetTicking"), 0);
}

TEST_F(HotkeyWatching, UserCloseOnlyHides_EveryOtherCloseEndsWatchAndTicks) {
  logic.OnStart();
  logic.OnHotkeyDown();
  ASSERT_TRUE(p.ticking);
  EXPECT_TRUE(logic.OnCloseRequest(CloseOrigin::User));
  EXPECT_EQ(p.watchedKey, kF8);
  EXPECT_TRUE(p.ticking);
  EXPECT_FALSE(logic.OnCloseRequest(CloseOrigin::Session));
  EXPECT_EQ(p.watchedKey, 0);
  EXPECT_FALSE(p.ticking);
}

}  // namespace
}  // namespace snapwick::testing
