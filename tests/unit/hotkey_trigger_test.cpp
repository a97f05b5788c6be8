// The hotkey's shots over time: presses and releases at given moments, the
// ticks a platform would make while the program keeps them on, and the
// moments at which shots were taken.

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

#include "app_fixture.h"

namespace snapwick::testing {
namespace {

constexpr int kF8 = 119;
constexpr int kTick = 50;

class Timeline : public StartedProgram {
 protected:
  // The key goes down at `at` and up `length` ms later. The source reports
  // the release unless `releaseHeard` is false (sway, when another key went
  // down during the hold).
  void Press(int at, int length, bool releaseHeard = true) {
    events_.emplace(at, Event::Down);
    events_.emplace(at + length, releaseHeard ? Event::Up : Event::UnheardUp);
  }
  // The keyboard's repeats of a held key, reported as downs.
  void Repeats(int from, int to, int every = 40) {
    for (int t = from; t <= to; t += every) events_.emplace(t, Event::Repeat);
  }
  // The compositor's own binding that runs only at the press, run at `at`
  // beside the watched key.
  void BindingPress(int at) { events_.emplace(at, Event::BindingPress); }
  // What the compositor's own binding reports, instead of the watched key.
  void FromCompositor(bool withRelease) {
    compositor_ = withRelease ? CompositorKey::Down : CompositorKey::Press;
    p.hotkeyWatch = HotkeyWatch::None;
  }

  // Delivers the events and ticks up to `until` and returns the moments of
  // the shots. An edge-reporting platform raises what it hears as it
  // happens and looks at the key before each tick; one that can only look
  // raises what it sees just before the tick; the others only report.
  std::vector<int> Run(int until) {
    Start();
    const bool looks = p.hotkeyWatch == HotkeyWatch::Edges || p.hotkeyWatch == HotkeyWatch::AtTicks;
    bool down = false;  // the key's real state
    auto next = events_.begin();
    int nextTick = -1;
    for (;;) {
      if (p.ticking && nextTick < 0) nextTick = p.tickingSince + kTick;
      if (!p.ticking) nextTick = -1;
      const int eventAt = next == events_.end() ? until + 1 : next->first;
      const bool tickFirst = nextTick >= 0 && nextTick < eventAt;
      const int at = tickFirst ? nextTick : eventAt;
      if (at > until) break;
      p.clock = at;
      if (tickFirst) {
        nextTick += kTick;
        if (looks) logic.OnHotkey(down ? KeySeen::DownNow : KeySeen::UpNow);
        logic.OnTick();
        continue;
      }
      const Event event = (next++)->second;
      if (event == Event::BindingPress) {
        logic.OnCompositorKey(CompositorKey::Press);
        continue;
      }
      down = event != Event::Up && event != Event::UnheardUp;
      if (event == Event::UnheardUp || p.hotkeyWatch == HotkeyWatch::AtTicks) continue;
      Report(event == Event::Up);
    }
    return p.grabTimes;
  }

  static std::vector<int> Every(int from, int to, int step = kTick) {
    std::vector<int> times;
    for (int t = from; t <= to; t += step) times.push_back(t);
    return times;
  }

 private:
  enum class Event { Down, Repeat, Up, UnheardUp, BindingPress };

  void Report(bool up) {
    if (compositor_) {
      logic.OnCompositorKey(up ? CompositorKey::Up : *compositor_);
    } else {
      logic.OnHotkey(up ? KeySeen::Up : KeySeen::Down);
    }
  }

  std::multimap<int, Event> events_;
  std::optional<CompositorKey> compositor_;
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
  Repeats(30, 110, 10);
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
  logic.OnHotkey(KeySeen::Down);
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

TEST_F(Timeline, EdgesMissed_TheLookBeforeTheTickMendsThem) {
  Press(0, 120, false);  // a release the events never told of
  EXPECT_EQ(Run(1000), (std::vector<int>{0, 50, 100}));
  EXPECT_FALSE(p.ticking);
}

// sway: a binding at the press, at each repeat and at the release.
TEST_F(Timeline, Repeats_HeldWithItsRelease_AShotEveryTickUntilTheRelease) {
  p.hotkeyWatch = HotkeyWatch::Repeats;
  Press(0, 2000);
  Repeats(600, 1990);
  EXPECT_EQ(Run(4000), Every(0, 1950));
}

TEST_F(Timeline, Repeats_ReleaseNeverReported_ShotsEndSoonAfterTheLastRepeat) {
  p.hotkeyWatch = HotkeyWatch::Repeats;
  // Another key went down at 1300: the repeats stop, and so does the
  // release binding.
  Press(0, 2000, false);
  Repeats(600, 1280);
  const auto shots = Run(10000);
  ASSERT_FALSE(shots.empty());
  EXPECT_EQ(shots.back(), 1400);  // three quiet ticks after the last repeat
  EXPECT_EQ(shots.size(), Every(0, 1400).size());
  EXPECT_FALSE(p.ticking);
}

TEST_F(Timeline, Repeats_ReleaseLostBeforeTheFirstRepeat_EndsWhenNoneCame) {
  p.hotkeyWatch = HotkeyWatch::Repeats;
  Press(0, 300, false);
  EXPECT_EQ(Run(10000), Every(0, 1000));
  // The same key pressed again afterwards is a press again.
  p.grabTimes.clear();
  logic.OnHotkey(KeySeen::Down);
  EXPECT_EQ(p.grabTimes.size(), 1u);
}

TEST_F(Timeline, Repeats_AreNeverNewPresses_EvenFasterThanTheTick) {
  p.hotkeyWatch = HotkeyWatch::Repeats;
  Press(0, 1000);
  Repeats(500, 990, 5);
  EXPECT_EQ(Run(2000), Every(0, 950));
}

// A shortcut portal: press and release reported by the desktop.
TEST_F(Timeline, Reported_HeldWithoutRepeats_ShotsUntilTheRelease) {
  p.hotkeyWatch = HotkeyWatch::Reported;
  Press(0, 3000);
  EXPECT_EQ(Run(5000), Every(0, 2950));
}

TEST_F(Timeline, Reported_ReleaseLost_TheLongestHoldEndsIt) {
  p.hotkeyWatch = HotkeyWatch::Reported;
  Press(0, 500, false);
  const auto shots = Run(20000);
  ASSERT_FALSE(shots.empty());
  EXPECT_EQ(shots.back(), 10000);
}

TEST_F(Timeline, Reported_OnceTheDesktopRepeats_ALostReleaseEndsAsForRepeats) {
  p.hotkeyWatch = HotkeyWatch::Reported;
  Press(0, 1000);
  Repeats(500, 990, 30);
  Press(2000, 300, false);  // lost before the desktop's first repeat
  const auto shots = Run(20000);
  ASSERT_FALSE(shots.empty());
  EXPECT_EQ(shots.back(), 3000);
}

// A compositor's binding that runs the program: labwc repeats it while
// the key is held and has no release binding.
TEST_F(Timeline, CompositorPress_TapIsOneShot_HoldABurstWhileItRepeats) {
  FromCompositor(false);
  Press(0, 30, false);
  Press(2000, 1000, false);
  Repeats(2600, 2990);
  const auto shots = Run(6000);
  std::vector<int> expected{0, 2000};
  for (const int t : Every(2600, 3100)) expected.push_back(t);
  EXPECT_EQ(shots, expected);
  EXPECT_FALSE(p.ticking);
}

// Two taps before the keyboard's first repeat look like a press and its
// first repeat: two shots, not a burst.
TEST_F(Timeline, CompositorPress_SecondTapBeforeTheFirstRepeat_OneShotEach) {
  FromCompositor(false);
  Press(0, 30, false);
  Press(510, 30, false);
  Press(3000, 30, false);
  EXPECT_EQ(Run(5000), (std::vector<int>{0, 550, 3000}));
}

// sway's key held soon after a tap of the compositor's own binding, whose
// hold has not lapsed yet: the key's own hold, not that tap's repeat.
TEST_F(Timeline, BindingTappedThenTheWatchedKeyHeld_ShotsUntilTheKeysRelease) {
  p.hotkeyWatch = HotkeyWatch::Repeats;
  BindingPress(0);
  Press(300, 700);
  std::vector<int> expected{0};
  for (const int t : Every(300, 950)) expected.push_back(t);
  EXPECT_EQ(Run(3000), expected);
}

TEST_F(Timeline, CompositorDownAndUp_ShotsUntilTheUp) {
  FromCompositor(true);
  Press(100, 500);
  EXPECT_EQ(Run(2000), Every(100, 550));
}

class HotkeyWatching : public StartedProgram {};

TEST_F(HotkeyWatching, StartWatchesTheSettingsKeyAndApplyMovesTheWatch) {
  p.files["C:\\Tools\\set.ini"] = {80, 13, 10, 1, 13, 10, 0x74, 13, 10, 'F', '5'};
  logic.OnStart();
  EXPECT_EQ(p.watchedKey, 0x74);
  EXPECT_EQ(p.Count("WatchHotkey"), 1);
  EXPECT_FALSE(p.ticking);

  // Held while Apply changes the key: the old key's state is forgotten.
  logic.OnHotkey(KeySeen::Down);
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
  logic.OnHotkey(KeySeen::Down);
  ASSERT_TRUE(p.ticking);
  EXPECT_TRUE(logic.OnCloseRequest(CloseOrigin::User));
  EXPECT_EQ(p.watchedKey, kF8);
  EXPECT_TRUE(p.ticking);
  EXPECT_FALSE(logic.OnCloseRequest(CloseOrigin::Session));
  EXPECT_EQ(p.watchedKey, 0);
  EXPECT_FALSE(p.ticking);
}

TEST_F(HotkeyWatching, ScreenWanted_OnlyWhileAKeyMakesShots) {
  p.hotkeyWatch = HotkeyWatch::Reported;
  logic.OnStart();
  // The desktop has not said yet whether it holds the key.
  EXPECT_EQ(p.Count("SetScreenWanted"), 0);
  logic.OnHotkeyBound("F8");
  EXPECT_TRUE(p.screenWanted);
  // Held when the desktop let the key go: no release will come.
  logic.OnHotkey(KeySeen::Down);
  logic.OnHotkeyBound("");
  EXPECT_FALSE(p.screenWanted);
  const int grabs = p.grabsAsked;
  logic.OnTick();
  logic.OnTick();
  EXPECT_EQ(p.grabsAsked, grabs);
  // The compositor's own binding makes shots whatever the desktop holds.
  logic.OnCompositorKey(CompositorKey::Press);
  EXPECT_TRUE(p.screenWanted);
  EXPECT_EQ(p.grabsAsked, grabs + 1);
  logic.OnCloseRequest(CloseOrigin::Program);
  EXPECT_FALSE(p.screenWanted);
}

TEST_F(HotkeyWatching, ScreenWanted_AtOnceForAKeyWatchedAtOnceNeverForNone) {
  logic.OnStart();
  EXPECT_TRUE(p.screenWanted);
  FakePlatform other;
  other.hotkeyWatch = HotkeyWatch::None;
  MainWindowLogic unwatched(other);
  unwatched.OnStart();
  EXPECT_EQ(other.Count("SetScreenWanted"), 0);
}

// A grab whose frame comes later (a desktop's screenshot service).
class SlowScreen : public StartedProgram {
 protected:
  SlowScreen() { p.grabsPending = true; }
  int Shots() {
    int n = 0;
    for (const auto& [path, bytes] : p.files) n += path.ends_with(".jpg");
    return n;
  }
};

TEST_F(SlowScreen, HeldKey_OneGrabAtATime_TicksThatFindOneOnItsWayShootNothing) {
  Start();
  logic.OnHotkey(KeySeen::Down);
  logic.OnTick();
  logic.OnTick();
  EXPECT_EQ(p.grabsAsked, 1);
  EXPECT_EQ(Shots(), 0);
  logic.OnScreenGrabbed(p.FinishGrab());
  EXPECT_EQ(p.files.count("C:\\Tools\\pic\\06.12.2026_11.05.13_1.jpg"), 1u);
  logic.OnTick();
  EXPECT_EQ(p.grabsAsked, 2);
  // Its frame still makes its shot after the release, and then nothing.
  logic.OnHotkey(KeySeen::Up);
  logic.OnScreenGrabbed(p.FinishGrab());
  logic.OnTick();
  logic.OnTick();
  EXPECT_EQ(Shots(), 2);
  EXPECT_EQ(p.grabsAsked, 2);
  EXPECT_FALSE(p.ticking);
}

TEST_F(SlowScreen, TapWhileAFrameIsOnItsWay_ItsShotOnceTheFrameHasCome) {
  Start();
  logic.OnHotkey(KeySeen::Down);
  logic.OnHotkey(KeySeen::Up);
  logic.OnHotkey(KeySeen::Down);
  logic.OnHotkey(KeySeen::Up);
  logic.OnTick();
  logic.OnTick();
  EXPECT_EQ(p.grabsAsked, 1);
  logic.OnScreenGrabbed(p.FinishGrab());
  logic.OnTick();
  EXPECT_EQ(p.grabsAsked, 2);
  logic.OnScreenGrabbed(p.FinishGrab());
  logic.OnTick();
  logic.OnTick();
  EXPECT_EQ(Shots(), 2);
  EXPECT_FALSE(p.ticking);
}

TEST_F(SlowScreen, NoFrameOrALateOne_NoShotAndTheNextPressGrabsAgain) {
  Start();
  logic.OnHotkey(KeySeen::Down);
  logic.OnHotkey(KeySeen::Up);
  logic.OnScreenGrabbed(std::nullopt);
  // A frame nobody waits for any more.
  logic.OnScreenGrabbed(p.FinishGrab());
  EXPECT_EQ(Shots(), 0);
  logic.OnTick();
  logic.OnHotkey(KeySeen::Down);
  EXPECT_EQ(p.grabsAsked, 2);
  logic.OnCloseRequest(CloseOrigin::Program);
  logic.OnScreenGrabbed(p.FinishGrab());
  EXPECT_EQ(Shots(), 0);
}

}  // namespace
}  // namespace snapwick::testing
