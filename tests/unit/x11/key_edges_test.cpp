#include "platform/x11/key_edges.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

#include "capture/hotkey_trigger.h"

namespace snapwick::x11 {
namespace {

constexpr Keycode kF8 = 74;
constexpr Keycode kA = 38;
constexpr Keycode kLeftShift = 50;
constexpr Keycode kRightShift = 62;
constexpr Keycode kKeypad7 = 79;
constexpr Keycode kHome = 110;

constexpr std::optional<bool> kDown = true;
constexpr std::optional<bool> kUp = false;
constexpr std::optional<bool> kNoEdge = std::nullopt;

KeySet Keys(std::initializer_list<Keycode> codes) {
  KeySet set;
  for (const Keycode c : codes) set.set(c);
  return set;
}

KeyEdges Watching(std::initializer_list<Keycode> codes, const KeySet& downNow = {}) {
  KeyEdges edges;
  const std::vector<Keycode> list(codes);
  edges.Watch(list, downNow);
  return edges;
}

TEST(KeyEdges, PressRepeatsAndRelease_OneDownOneUp) {
  KeyEdges edges = Watching({kF8});
  EXPECT_EQ(edges.OnKey(kF8, true, false), kDown);
  // The server's repeats of a held key, flagged or not.
  EXPECT_EQ(edges.OnKey(kF8, true, true), kNoEdge);
  EXPECT_EQ(edges.OnKey(kF8, true, false), kNoEdge);
  EXPECT_EQ(edges.OnKey(kF8, false, false), kUp);
  EXPECT_EQ(edges.OnKey(kF8, false, false), kNoEdge);
  EXPECT_EQ(edges.OnKey(kF8, true, false), kDown);
}

TEST(KeyEdges, OtherKeys_NoEdgesWhetherTheHotkeyIsUpOrDown) {
  KeyEdges edges = Watching({kF8});
  EXPECT_EQ(edges.OnKey(kA, true, false), kNoEdge);
  EXPECT_EQ(edges.OnKey(kF8, true, false), kDown);
  EXPECT_EQ(edges.OnKey(kA, false, false), kNoEdge);
  EXPECT_EQ(edges.OnKey(kA, true, false), kNoEdge);
  EXPECT_TRUE(edges.Down());
}

TEST(KeyEdges, BothShiftKeys_DownAtTheFirstUpAtTheLast) {
  KeyEdges edges = Watching({kLeftShift, kRightShift});
  EXPECT_EQ(edges.OnKey(kLeftShift, true, false), kDown);
  EXPECT_EQ(edges.OnKey(kRightShift, true, false), kNoEdge);
  EXPECT_EQ(edges.OnKey(kLeftShift, false, false), kNoEdge);
  EXPECT_EQ(edges.OnKey(kRightShift, false, false), kUp);
}

TEST(KeyEdges, NothingWatched_NoEdgesEver) {
  KeyEdges edges = Watching({});
  EXPECT_EQ(edges.OnKey(kF8, true, false), kNoEdge);
  EXPECT_EQ(edges.OnSample(Keys({kF8})), kNoEdge);
  EXPECT_EQ(edges.OnKey(kF8, false, false), kNoEdge);
}

// Pressed for something else before the watch began (the key that
// started the program, the key that was just captured in the panel).
TEST(KeyEdges, HeldWhenTheWatchBegins_SilentUntilItsNextPress) {
  KeyEdges edges = Watching({kF8}, Keys({kF8, kA}));
  EXPECT_EQ(edges.OnSample(Keys({kF8})), kNoEdge);
  EXPECT_EQ(edges.OnKey(kF8, true, true), kNoEdge);
  EXPECT_EQ(edges.OnKey(kF8, false, false), kNoEdge);
  EXPECT_EQ(edges.OnKey(kF8, true, false), kDown);
  EXPECT_EQ(edges.OnKey(kF8, false, false), kUp);
}

TEST(KeyEdges, HeldWhenTheWatchBeginsReleasedUnseen_TheNextPressCounts) {
  KeyEdges edges = Watching({kF8}, Keys({kF8}));
  EXPECT_EQ(edges.OnSample(Keys({})), kNoEdge);
  EXPECT_EQ(edges.OnKey(kF8, true, false), kDown);
}

// The release went unseen (during a server grab, or lost with the
// connection's events): the keymap at the next tick ends the hold, and
// the late event changes nothing.
TEST(KeyEdges, ReleaseTheEventsMissed_UpAtTheSample) {
  KeyEdges edges = Watching({kF8});
  EXPECT_EQ(edges.OnKey(kF8, true, false), kDown);
  EXPECT_EQ(edges.OnSample(Keys({kF8})), kNoEdge);
  EXPECT_EQ(edges.OnSample(Keys({kA})), kUp);
  EXPECT_EQ(edges.OnKey(kF8, false, false), kNoEdge);
  EXPECT_EQ(edges.OnKey(kF8, true, false), kDown);
}

// The keymap is newer than the events read so far: a press it shows is
// an edge now, and its own event, read later, is none.
TEST(KeyEdges, PressTheEventsDidNotShowYet_DownAtTheSampleOnce) {
  KeyEdges edges = Watching({kF8});
  EXPECT_EQ(edges.OnSample(Keys({kF8})), kDown);
  EXPECT_EQ(edges.OnKey(kF8, true, false), kNoEdge);
  EXPECT_EQ(edges.OnSample(Keys({kF8})), kNoEdge);
  EXPECT_EQ(edges.OnKey(kF8, false, false), kUp);
  EXPECT_EQ(edges.OnSample(Keys({})), kNoEdge);
}

// Num Lock turns the keypad's 7 from Home into Num 7: the key held under
// the old meaning is let go at the next sample, not kept down for ever.
TEST(KeyEdges, KeysChangeWhileHeld_UpAtTheNextSample) {
  KeyEdges edges = Watching({kKeypad7, kHome});
  EXPECT_EQ(edges.OnKey(kKeypad7, true, false), kDown);
  const std::vector<Keycode> homeOnly{kHome};
  edges.Rekey(homeOnly);
  EXPECT_EQ(edges.OnKey(kKeypad7, false, false), kNoEdge);
  EXPECT_EQ(edges.OnSample(Keys({kKeypad7})), kUp);
  EXPECT_EQ(edges.OnKey(kHome, true, false), kDown);
}

// The X11 source's edges and samples driving the core's trigger over
// time, as the program runs them: shots at edges and ticks, the ticks
// every 50 ms while the trigger wants them, the keymap sampled just
// before each tick.
struct KeyEvent {
  int at = 0;  // ms
  bool down = true;
  bool seen = true;  // whether the raw event reaches the program
};

struct Shots {
  std::vector<int> shots;  // ms
  bool tickingAtEnd = false;
};

Shots Play(HotkeyWatch how, std::vector<KeyEvent> events, int until, bool heldAtStart = false) {
  constexpr int kTick = 50;
  constexpr int kNever = std::numeric_limits<int>::max();
  std::stable_sort(events.begin(), events.end(),
                   [](const KeyEvent& a, const KeyEvent& b) { return a.at < b.at; });
  HotkeyTrigger trigger;
  KeyEdges edges;
  KeySet keymap = heldAtStart ? Keys({kF8}) : KeySet{};
  const std::vector<Keycode> codes{kF8};
  edges.Watch(codes, keymap);
  Shots run;
  int nextTick = kNever;
  auto follow = [&](HotkeyTrigger::Step step, int now) {
    if (step.ticks == HotkeyTrigger::Ticks::Start) nextTick = now + kTick;
    if (step.ticks == HotkeyTrigger::Ticks::Stop) nextTick = kNever;
    if (step.shoot) run.shots.push_back(now);
  };
  auto edge = [&](std::optional<bool> e, int now) {
    if (e) follow(*e ? trigger.Press() : trigger.Release(), now);
  };
  follow(trigger.Watch(how), 0);
  std::size_t next = 0;
  for (;;) {
    const int eventAt = next < events.size() ? events[next].at : kNever;
    if (std::min(eventAt, nextTick) > until) break;
    if (eventAt <= nextTick) {
      const KeyEvent& e = events[next++];
      keymap.set(kF8, e.down);
      if (e.seen && how == HotkeyWatch::Edges) edge(edges.OnKey(kF8, e.down, false), e.at);
      continue;
    }
    const int now = nextTick;
    nextTick += kTick;
    // What X11HotkeySource::Sample reports: the key as the keymap shows it.
    (void)edges.OnSample(keymap);
    follow(trigger.Sample(edges.Down()), now);
    follow(trigger.Tick(), now);
  }
  run.tickingAtEnd = trigger.Ticking();
  return run;
}

TEST(KeyEdgesTimeline, TapShorterThanATick_OneShotAtThePressAndTheTicksStop) {
  const Shots run = Play(HotkeyWatch::Edges, {{1000, true}, {1007, false}}, 2000);
  EXPECT_EQ(run.shots, std::vector<int>{1000});
  EXPECT_FALSE(run.tickingAtEnd);
}

TEST(KeyEdgesTimeline, HeldOneSecond_AShotAtThePressAndOneATick) {
  const Shots run = Play(HotkeyWatch::Edges, {{1000, true}, {1990, false}}, 3000);
  ASSERT_EQ(run.shots.size(), 20u);
  EXPECT_EQ(run.shots.front(), 1000);
  EXPECT_EQ(run.shots.back(), 1950);
  EXPECT_FALSE(run.tickingAtEnd);
}

TEST(KeyEdgesTimeline, ReleaseNeverSeen_ShotsEndAtTheFirstTickAfterIt) {
  const Shots run = Play(HotkeyWatch::Edges, {{1000, true}, {1120, false, false}}, 3000);
  EXPECT_EQ(run.shots, (std::vector<int>{1000, 1050, 1100}));
  EXPECT_FALSE(run.tickingAtEnd);
}

TEST(KeyEdgesTimeline, HeldAtStart_NoShotUntilPressedAgain) {
  const Shots run =
      Play(HotkeyWatch::Edges, {{300, false}, {1000, true}, {1010, false}}, 2000, true);
  EXPECT_EQ(run.shots, std::vector<int>{1000});
}

// The poll-only way: the keymap alone at the ticks, which run all the
// time; a tap between two ticks goes unseen, a hold is shot at the ticks.
TEST(KeyEdgesTimeline, PollOnly_HoldShotAtTheTicksItSpans) {
  const Shots run = Play(HotkeyWatch::AtTicks, {{1010, true}, {1160, false}}, 2000);
  EXPECT_EQ(run.shots, (std::vector<int>{1050, 1100, 1150}));
  EXPECT_TRUE(run.tickingAtEnd);
}

}  // namespace
}  // namespace snapwick::x11
