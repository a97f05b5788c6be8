// The shot timer's tick: its due times, and the ticks a real window raises
// from its message loop, on the high-resolution timer and on the window
// timer it falls back to, during a message box, and none at rest.

#include <gtest/gtest.h>

#include <vector>

#include "platform/win32/tick_win.h"
#include "platform/win32/win32_platform.h"
#include "quiet_events.h"
#include "win32_test_support.h"

namespace snapwick::win32 {
namespace {

using testing::RunLoopUntil;

constexpr TickTime kMs = kTicksPerMs;

TEST(NextDueTime, OnTimeLateOrVeryLate_NextStepOfTheGridStillAhead) {
  const struct {
    const char* name;
    TickTime due, now, next;
  } cases[] = {
      {"on time", 1000 * kMs, 1000 * kMs, 1050 * kMs},
      {"a little late", 1000 * kMs, 1012 * kMs, 1050 * kMs},
      {"just before the next", 1000 * kMs, 1049 * kMs, 1050 * kMs},
      {"at the next: that one is gone too", 1000 * kMs, 1050 * kMs, 1100 * kMs},
      {"late by two and a half ticks", 1000 * kMs, 1125 * kMs, 1150 * kMs},
      {"late by a second", 1000 * kMs, 2000 * kMs + 1, 2050 * kMs},
      {"early", 1000 * kMs, 990 * kMs, 1050 * kMs},
      {"off the millisecond grid", 7, 7, 50 * kMs + 7},
  };
  for (const auto& c : cases) EXPECT_EQ(NextDueTime(c.due, c.now, 50 * kMs), c.next) << c.name;
}

class Ticks : public snapwick::testing::QuietEvents {
 public:
  std::vector<TickTime> at;  // when each tick came
  DWORD stallOnce = 0;       // the first tick takes this long
  void OnTick() override {
    at.push_back(MonotonicNow());
    if (at.size() == 1 && stallOnce) ::Sleep(stallOnce);
  }

  // The shortest time between two ticks, in milliseconds.
  double ShortestGapMs() const {
    double shortest = 1e9;
    for (std::size_t i = 1; i < at.size(); ++i) {
      shortest = std::min(shortest, static_cast<double>(at[i] - at[i - 1]) / kMs);
    }
    return shortest;
  }
};

HANDLE WINAPI NoHighResolutionTimer(LPSECURITY_ATTRIBUTES, LPCWSTR, DWORD flags, DWORD) {
  // As a system without the flag answers a flag it does not know.
  ::SetLastError(flags ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS);
  return nullptr;
}

SystemCalls WithoutHighResolutionTimer() {
  SystemCalls calls;
  calls.timer.createWaitableTimerExW = &NoHighResolutionTimer;
  return calls;
}

class TickTest : public ::testing::TestWithParam<bool> {
 public:
  void SetUp() override {
    ASSERT_TRUE(p.CreateMainWindow(ticks));
    ASSERT_EQ(p.Window().TickKind(),
              GetParam() ? TickTimer::Kind::HighResolution : TickTimer::Kind::WindowTimer);
  }
  void RunFor(DWORD ms) {
    RunLoopUntil(
        p.Window(), [] { return false; }, ms);
  }

  Win32Platform p{::GetModuleHandleW(nullptr),
                  GetParam() ? SystemCalls{} : WithoutHighResolutionTimer()};
  Ticks ticks;
};

TEST_P(TickTest, Off_NoTicksAndNothingToWaitFor) {
  RunFor(300);
  EXPECT_TRUE(ticks.at.empty());
  ASSERT_EQ(p.SetTicking(true), Status::Ok);
  ASSERT_EQ(p.SetTicking(false), Status::Ok);
  RunFor(300);
  EXPECT_TRUE(ticks.at.empty()) << "a tick after the ticks were turned off";
}

TEST_P(TickTest, On_FirstTickAPeriodLaterThenAboutTwentyASecondNeverBunched) {
  const TickTime on = MonotonicNow();
  ASSERT_EQ(p.SetTicking(true), Status::Ok);
  RunFor(1000);
  ASSERT_EQ(p.SetTicking(false), Status::Ok);
  ASSERT_FALSE(ticks.at.empty());
  EXPECT_GE(ticks.at.front() - on, 45 * kMs) << "the first tick came too soon";
  // A loaded machine may lose ticks or make one late; none may come in
  // addition, and none right after another to make up for one.
  EXPECT_LE(ticks.at.size(), 20u);
  EXPECT_GE(ticks.at.size(), 8u);
  EXPECT_GE(ticks.ShortestGapMs(), 2.0);
}

TEST_P(TickTest, TurnedOnAgain_CountsFromTheNewStart) {
  ASSERT_EQ(p.SetTicking(true), Status::Ok);
  RunFor(30);
  const TickTime again = MonotonicNow();
  ASSERT_EQ(p.SetTicking(true), Status::Ok);
  RunLoopUntil(
      p.Window(), [&] { return !ticks.at.empty(); }, 1000);
  ASSERT_FALSE(ticks.at.empty());
  EXPECT_GE(ticks.at.front() - again, 45 * kMs);
}

TEST_P(TickTest, LateTick_MissedOnesNotMadeUp) {
  ticks.stallOnce = 130;
  ASSERT_EQ(p.SetTicking(true), Status::Ok);
  RunLoopUntil(
      p.Window(), [&] { return ticks.at.size() >= 4; }, 2000);
  ASSERT_GE(ticks.at.size(), 4u);
  // The tick due during the stall comes once when it ends; the ones after
  // stay on the grid instead of following at once.
  EXPECT_GE(ticks.ShortestGapMs(), 2.0);
  EXPECT_GE(ticks.at[2] - ticks.at[0], 140 * kMs);
}

TEST_P(TickTest, MessageBoxOpen_TicksGoOn) {
  ASSERT_EQ(p.SetTicking(true), Status::Ok);
  // Closes the box from inside its own loop after a while.
  static std::size_t ticksWhileOpen = 0;
  static Ticks* seen = nullptr;
  seen = &ticks;
  const UINT_PTR closer = ::SetTimer(nullptr, 0, 500, [](HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    ticksWhileOpen = seen->at.size();
    if (HWND box = ::FindWindowW(nullptr, L"tick test")) ::PostMessageW(box, WM_CLOSE, 0, 0);
  });
  ASSERT_NE(closer, 0u);
  testing::DiscardQuit();
  EXPECT_EQ(p.ShowMessage("ticks", "tick test"), Status::Ok);
  EXPECT_GE(ticksWhileOpen, 4u);
  p.SetTicking(false);
}

INSTANTIATE_TEST_SUITE_P(Timers, TickTest, ::testing::Bool(), [](const auto& info) {
  return info.param ? "HighResolution" : "WindowTimerWhereTheFlagIsRefused";
});

}  // namespace
}  // namespace snapwick::win32
