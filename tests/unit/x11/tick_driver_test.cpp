#include "platform/x11/tick_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

namespace snapwick::x11 {
namespace {

constexpr Keycode kF8 = 74;
constexpr Keycode kA = 38;
constexpr int kTickMs = 50;
constexpr int kNever = std::numeric_limits<int>::max();

struct KeyEvent {
  int at = 0;  // ms
  Keycode code = 0;
  bool down = true;
};

struct Timeline {
  std::vector<int> ticks;  // when each tick began, ms
  std::vector<int> shots;
  bool runningAtEnd = false;
};

// Plays the platform's part over a timeline: a timer that ticks every 50 ms
// while it runs and once at once after StartNow, the server's keymap, a
// core that shoots when the hotkey is down, and shots that take `shotMs`
// during which key events only reach the keymap; their presses are read
// after the tick, as the program reads its connection then.
Timeline Play(TickDriver& driver, std::vector<KeyEvent> events, int until,
              std::optional<Keycode> hotkey = kF8, int shotMs = 8) {
  std::stable_sort(events.begin(), events.end(),
                   [](const KeyEvent& a, const KeyEvent& b) { return a.at < b.at; });
  Timeline run;
  KeySet keymap;
  int nextTick = kNever;
  int tickNowAt = kNever;
  auto apply = [&](TimerChange change, int now) {
    switch (change) {
      case TimerChange::None:
        break;
      case TimerChange::Start:
        nextTick = now + kTickMs;
        break;
      case TimerChange::StartNow:
        nextTick = now + kTickMs;
        tickNowAt = now;
        break;
      case TimerChange::Stop:
        nextTick = tickNowAt = kNever;
        break;
    }
  };
  auto toKeymap = [&](const KeyEvent& e) { keymap.set(e.code, e.down); };

  apply(driver.Start(), 0);
  std::size_t next = 0;
  for (;;) {
    const int eventAt = next < events.size() ? events[next].at : kNever;
    const int tickAt = std::min(nextTick, tickNowAt);
    if (std::min(eventAt, tickAt) > until) break;
    if (eventAt <= tickAt) {
      const KeyEvent& e = events[next++];
      toKeymap(e);
      if (e.down) {
        apply(driver.OnPress(e.code), e.at);
      } else {
        driver.OnRelease(e.code);
      }
      continue;
    }
    if (tickAt == tickNowAt) {
      tickNowAt = kNever;
    } else {
      nextTick += kTickMs;
    }
    if (!driver.Running()) continue;
    run.ticks.push_back(tickAt);
    int end = tickAt;
    if (hotkey) {
      const Keycode codes[] = {*hotkey};
      if (driver.AskDown(codes, [&] { return keymap; })) {
        run.shots.push_back(tickAt);
        end += shotMs;
      }
    }
    std::vector<KeyEvent> readAfter;
    while (next < events.size() && events[next].at < end) {
      toKeymap(events[next]);
      readAfter.push_back(events[next++]);
    }
    apply(driver.OnTickEnd(keymap), end);
    for (const KeyEvent& e : readAfter) {
      if (e.down) {
        apply(driver.OnPress(e.code), end);
      } else {
        driver.OnRelease(e.code);
      }
    }
    // A timer that came due during the shot fires when the shot is over.
    if (nextTick < end) nextTick = end;
  }
  run.runningAtEnd = driver.Running();
  return run;
}

std::vector<KeyEvent> Tap(Keycode code, int at, int lengthMs) {
  return {{at, code, true}, {at + lengthMs, code, false}};
}

std::vector<KeyEvent> operator+(std::vector<KeyEvent> a, const std::vector<KeyEvent>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<int> Every50(int from, int count) {
  std::vector<int> times;
  for (int i = 0; i < count; ++i) times.push_back(from + i * kTickMs);
  return times;
}

TEST(TickDriver, AtRest_NoTickAtAll) {
  TickDriver driver(true);
  const Timeline run = Play(driver, {}, 60'000);
  EXPECT_TRUE(run.ticks.empty());
  EXPECT_FALSE(run.runningAtEnd);
}

TEST(TickDriver, TapOfTheHotkey_OneShotAtThePressAndTheTimerStopsAfter) {
  const struct {
    int length;
    std::vector<int> ticks;  // the last one finds nothing down
  } cases[] = {{20, {1'010, 1'060}}, {3, {1'010}}};
  for (const auto& c : cases) {
    TickDriver driver(true);
    const Timeline run = Play(driver, Tap(kF8, 1'010, c.length), 5'000);
    EXPECT_EQ(run.shots, std::vector<int>{1'010}) << c.length << " ms tap";
    EXPECT_EQ(run.ticks, c.ticks) << c.length << " ms tap";
    EXPECT_FALSE(run.runningAtEnd);
  }
}

TEST(TickDriver, HeldHotkeyWithRepeats_OneShotEachTickOnTheFirstPressesGrid) {
  // X may repeat a held key as presses every 25 ms after 500 ms; none of
  // them moves a tick or adds a shot after the release.
  std::vector<KeyEvent> events = Tap(kF8, 2'000, 1'000);
  for (int at = 2'500; at < 3'000; at += 25) events.push_back({at, kF8, true});
  TickDriver driver(true);
  const Timeline run = Play(driver, events, 6'000);
  EXPECT_EQ(run.shots, Every50(2'000, 20));
  EXPECT_EQ(run.ticks, Every50(2'000, 21));
  EXPECT_FALSE(run.runningAtEnd);
}

TEST(TickDriver, PressesBetweenOrInsideTicks_EachCountedOnce) {
  const struct {
    const char* what;
    std::vector<KeyEvent> events;
    std::vector<int> shots;
  } cases[] = {
      {"a 3 ms tap between two ticks of another held key: the next tick",
       Tap(kA, 0, 500) + Tap(kF8, 203, 3),
       {250}},
      {"a tap inside the shot of a held hotkey: one shot right after it",
       Tap(kF8, 0, 52) + Tap(kF8, 54, 2),
       {0, 50, 58}},
      {"two taps before one tick: one shot",
       Tap(kA, 0, 500) + Tap(kF8, 110, 5) + Tap(kF8, 120, 5),
       {150}},
      {"other keys only: no shot", Tap(kA, 0, 30) + Tap(kA, 300, 200), {}},
  };
  for (const auto& c : cases) {
    TickDriver driver(true);
    const Timeline run = Play(driver, c.events, 3'000);
    EXPECT_EQ(run.shots, c.shots) << c.what;
    EXPECT_FALSE(run.runningAtEnd) << c.what;
  }
}

TEST(TickDriver, NoHotkeyToAskAbout_PressesDoNotKeepTheTimerRunning) {
  TickDriver driver(true);
  // The second tap comes between two ticks, while the first is still down.
  const Timeline run = Play(driver, Tap(kA, 100, 5) + Tap(kA, 120, 2), 2'000, std::nullopt);
  EXPECT_EQ(run.ticks, (std::vector<int>{100, 150}));
  EXPECT_FALSE(run.runningAtEnd);
}

TEST(TickDriver, PlainPoll_TicksAtRestAndMissesATapBetweenTicks) {
  TickDriver driver(false);
  EXPECT_EQ(driver.OnPress(kF8), TimerChange::None);  // before start
  const Timeline rest = Play(driver, {}, 1'000);
  EXPECT_EQ(rest.ticks, Every50(50, 20));
  EXPECT_TRUE(rest.runningAtEnd);

  TickDriver held(false);
  EXPECT_EQ(Play(held, Tap(kF8, 1'000, 1'000), 3'000).shots, Every50(1'000, 20));

  TickDriver tapped(false);
  EXPECT_TRUE(Play(tapped, Tap(kF8, 1'010, 20), 3'000).shots.empty());
}

TEST(TickDriver, AReleaseNeverHeard_TheNextPressStillWakes) {
  TickDriver driver(true);
  Play(driver, {{100, kF8, true}}, 120);  // the release is lost
  KeySet none;
  EXPECT_EQ(driver.OnTickEnd(none), TimerChange::Stop);
  EXPECT_EQ(driver.OnPress(kF8), TimerChange::StartNow);
}

TEST(TickDriver, TheQuestion_TheServerAskedOnlyWhenNoPressSettlesIt) {
  const Keycode f8[] = {kF8};
  TickDriver driver(true);
  driver.Start();
  int asked = 0;
  KeySet keymap;
  auto downNow = [&] {
    ++asked;
    return keymap;
  };
  ASSERT_EQ(driver.OnPress(kF8), TimerChange::StartNow);
  EXPECT_TRUE(driver.AskDown(f8, downNow));
  EXPECT_EQ(asked, 0) << "the press that woke the program answered";

  keymap.set(kF8);  // held
  EXPECT_TRUE(driver.AskDown(f8, downNow));
  EXPECT_EQ(asked, 1);

  // A tap that the keymap no longer shows, read while asking for it.
  keymap.reset();
  driver.OnRelease(kF8);
  auto tapWhileAsking = [&] {
    driver.OnPress(kF8);
    driver.OnRelease(kF8);
    return keymap;
  };
  EXPECT_TRUE(driver.AskDown(f8, tapWhileAsking));
  EXPECT_FALSE(driver.AskDown(f8, downNow));
}

TEST(TickDriver, StartAndStop_NoTicksOutsideThem) {
  TickDriver driver(true);
  EXPECT_EQ(driver.OnPress(kF8), TimerChange::None);  // not started yet
  EXPECT_FALSE(driver.Running());
  EXPECT_EQ(driver.Start(), TimerChange::None);
  EXPECT_EQ(driver.OnPress(300), TimerChange::None);  // no such keycode
  EXPECT_EQ(driver.OnPress(kF8), TimerChange::StartNow);
  EXPECT_EQ(driver.Stop(), TimerChange::Stop);
  EXPECT_EQ(driver.OnPress(kF8), TimerChange::None);  // closing
  EXPECT_EQ(driver.Stop(), TimerChange::None);

  TickDriver poll(false);
  EXPECT_EQ(poll.Start(), TimerChange::Start);
  EXPECT_EQ(poll.Start(), TimerChange::None);
  EXPECT_EQ(poll.Stop(), TimerChange::Stop);
}

}  // namespace
}  // namespace snapwick::x11
