#pragma once
// The shot timer's tick: a high-resolution waitable timer that the message
// loop waits for, re-armed for each due time, or a plain window timer
// where the system has no high-resolution one.

#include "platform/win32/windows_inc.h"

#include <cstdint>

#include "platform/status.h"

namespace snapwick::win32 {

// Times in units of 100 ns on a clock that only goes forward.
using TickTime = std::int64_t;
constexpr TickTime kTicksPerMs = 10'000;

TickTime MonotonicNow();

// The due time after the tick that was due at `due` came at `now`: the
// first of due + period, due + 2 period, ... that is still ahead of `now`,
// so that a late tick neither delays the ones after it nor is made up for.
TickTime NextDueTime(TickTime due, TickTime now, TickTime period);

// The system calls the timer is made with; a test hands in its own.
struct TimerCalls {
  HANDLE(WINAPI* createWaitableTimerExW)
  (LPSECURITY_ATTRIBUTES, LPCWSTR, DWORD, DWORD) = ::CreateWaitableTimerExW;
};

class TickTimer {
 public:
  enum class Kind : std::uint8_t { HighResolution, WindowTimer };

  // The high-resolution timer is made here; where the system refuses it,
  // the ticks come from a window timer.
  TickTimer(const TimerCalls& calls, TickTime period);
  ~TickTimer();
  TickTimer(const TickTimer&) = delete;
  TickTimer& operator=(const TickTimer&) = delete;

  // The first tick one period from now. WM_TIMER with `timerId` reaches
  // `window` on the window timer's path, and while a modal loop runs.
  Status Start(HWND window, UINT_PTR timerId);
  void Stop();
  bool Running() const { return running_; }
  Kind KindInUse() const { return timer_ ? Kind::HighResolution : Kind::WindowTimer; }

  // What the message loop waits for: the timer while ticks run on it,
  // otherwise nothing, so that the program does not wake at rest.
  HANDLE WaitHandle() const { return running_ && timer_ ? timer_ : nullptr; }
  // The loop's wait saw the timer go off; true when a tick is due now.
  bool OnSignalled();
  // WM_TIMER of the timer's id; true when a tick is due now.
  bool OnTimerMessage();

  // Menus, message boxes and moving the window run loops of the system's
  // own, which wait for no handle of ours: a window timer looks at ours
  // meanwhile.
  void EnterModalLoop();
  void ExitModalLoop();

 private:
  void Arm();
  void UpdateModalPoll();

  TickTime period_;
  HANDLE timer_ = nullptr;
  HWND window_ = nullptr;
  UINT_PTR timerId_ = 0;
  TickTime due_ = 0;
  int modalDepth_ = 0;
  bool polling_ = false;
  bool running_ = false;
};

}  // namespace snapwick::win32
