#pragma once
// When the shot timer runs on Linux. The X server can tell the program of
// every key that goes down anywhere (XInput2's raw key events): the timer
// then runs only while some key is down, so that a program at rest costs
// nothing, and its first tick comes at once, so that a shot follows the
// key by the time the shot takes rather than by half a tick. Every tick
// still asks the server's keymap, so a held key gives one shot a tick as a
// plain poll does. A press is remembered until a tick has asked, so a tap
// shorter than a tick, or one that falls inside a shot, is not lost; a
// held key's repeats are not presses, or a shot could follow its release.
//
// Without those events (an old server) the timer runs all the time as a
// plain poll. Kept apart from Xlib and Qt so that it can be tested alone.

#include <bitset>
#include <cstdint>
#include <functional>
#include <span>

#include "platform/x11/keymap.h"

namespace snapwick::x11 {

// Keys by X keycode: the server's keymap, or the presses seen.
using KeySet = std::bitset<256>;

// What the owner of the timer does after a call.
enum class TimerChange : std::uint8_t {
  None,
  Start,     // starts it; the first tick one interval from now
  StartNow,  // starts it, and ticks once at once
  Stop,
};

class TickDriver {
 public:
  // `wakeOnKeys`: the server reports every key press; otherwise a poll.
  explicit TickDriver(bool wakeOnKeys) : wakeOnKeys_(wakeOnKeys) {}

  bool WakesOnKeys() const { return wakeOnKeys_; }
  // Whether the timer runs, so that a tick is due.
  bool Running() const { return running_; }

  // The program is ready for ticks.
  TimerChange Start();
  // The program closes: no tick from now on.
  TimerChange Stop();

  // A key went down somewhere. Another press of a key that is down (X's
  // repeat) changes nothing.
  TimerChange OnPress(Keycode keycode);
  void OnRelease(Keycode keycode);
  // The tick's question: whether one of `codes` went down since the last
  // question or is down in the server's keymap, which `downNow` asks for
  // (reading the presses that came before its answer) only when no such
  // press settles it: a press that wakes the program costs no round trip.
  bool AskDown(std::span<const Keycode> codes, const std::function<KeySet()>& downNow);
  // The tick has done its work; `down` is the server's keymap now.
  TimerChange OnTickEnd(const KeySet& down);

 private:
  bool wakeOnKeys_;
  bool started_ = false;
  bool running_ = false;
  bool askedThisTick_ = false;
  KeySet pressed_;  // since the last question
  KeySet held_;     // pressed and not released, as the events tell
};

}  // namespace snapwick::x11
