#include "platform/win32/tick_win.h"

#include <algorithm>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace snapwick::win32 {
namespace {

// A timer may go off a little before its due time; a tick that early is
// still the one that was due.
constexpr TickTime kEarlyEnough = kTicksPerMs / 2;
// How often a modal loop looks at the timer. The system's own timer
// resolution (15.6 ms on Windows) rounds it up.
constexpr UINT kModalPollMs = 5;

}  // namespace

TickTime MonotonicNow() {
  static const std::int64_t kFrequency = [] {
    LARGE_INTEGER f{};
    ::QueryPerformanceFrequency(&f);
    return f.QuadPart > 0 ? f.QuadPart : 1;
  }();
  LARGE_INTEGER c{};
  ::QueryPerformanceCounter(&c);
  // Split, so that the product cannot overflow after a long uptime.
  constexpr std::int64_t kPerSecond = 1000 * kTicksPerMs;
  return c.QuadPart / kFrequency * kPerSecond + c.QuadPart % kFrequency * kPerSecond / kFrequency;
}

TickTime NextDueTime(TickTime due, TickTime now, TickTime period) {
  TickTime next = due + period;
  if (next <= now) next += ((now - next) / period + 1) * period;
  return next;
}

TickTimer::TickTimer(const TimerCalls& calls, TickTime period)
    : period_(period),
      timer_(calls.createWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                          TIMER_ALL_ACCESS)) {}

TickTimer::~TickTimer() {
  Stop();
  if (timer_) ::CloseHandle(timer_);
}

Status TickTimer::Start(HWND window, UINT_PTR timerId) {
  Stop();
  if (!window) return Status::Failed;
  window_ = window;
  timerId_ = timerId;
  if (timer_) {
    due_ = MonotonicNow() + period_;
    Arm();
  } else {
    // A window timer's period runs on the system's timer resolution: 62.5
    // instead of 50 ms on a Windows that has not raised it.
    const auto ms = static_cast<UINT>(period_ / kTicksPerMs);
    if (!::SetTimer(window_, timerId_, ms, nullptr)) return Status::Failed;
  }
  running_ = true;
  UpdateModalPoll();
  return Status::Ok;
}

void TickTimer::Stop() {
  if (!running_) return;
  running_ = false;
  if (timer_) ::CancelWaitableTimer(timer_);
  if (!timer_ || polling_) ::KillTimer(window_, timerId_);
  polling_ = false;
}

void TickTimer::Arm() {
  // Relative to now rather than an absolute system time, which moves when
  // the clock is set; the due times themselves stay on the fixed grid.
  LARGE_INTEGER in{};
  in.QuadPart = -std::max<TickTime>(1, due_ - MonotonicNow());
  ::SetWaitableTimer(timer_, &in, 0, nullptr, nullptr, FALSE);
}

bool TickTimer::OnSignalled() {
  if (!running_ || !timer_) return false;
  const TickTime now = MonotonicNow();
  if (now + kEarlyEnough < due_) {
    // Went off for a run of ticks that was stopped and started again
    // since: the new run's first tick is still to come.
    Arm();
    return false;
  }
  due_ = NextDueTime(due_, now, period_);
  Arm();
  return true;
}

bool TickTimer::OnTimerMessage() {
  if (!running_) return false;
  if (!timer_) return true;
  // Polled from a modal loop.
  return ::WaitForSingleObject(timer_, 0) == WAIT_OBJECT_0 && OnSignalled();
}

void TickTimer::EnterModalLoop() {
  ++modalDepth_;
  UpdateModalPoll();
}

void TickTimer::ExitModalLoop() {
  if (modalDepth_ > 0) --modalDepth_;
  UpdateModalPoll();
}

void TickTimer::UpdateModalPoll() {
  if (!timer_) return;
  const bool poll = running_ && modalDepth_ > 0;
  if (poll == polling_) return;
  if (poll) {
    polling_ = ::SetTimer(window_, timerId_, kModalPollMs, nullptr) != 0;
  } else {
    ::KillTimer(window_, timerId_);
    polling_ = false;
  }
}

}  // namespace snapwick::win32
