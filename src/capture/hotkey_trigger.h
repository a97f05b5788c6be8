#pragma once
// When the hotkey makes shots, and when it counts as released. A press
// makes one shot at once and starts the 50 ms tick; every tick then makes
// one shot while the key is held or a press is latched, and the tick stops
// at the first one that finds neither, so nothing runs at rest. A press
// that comes while the tick runs is latched until the next tick, so a tap
// shorter than a tick still makes exactly one shot and a held key never
// more than one a tick. A second press without a release is a repeat of
// the held key, never a new press, unless it comes by another rule (the
// compositor's binding beside the watched key), which begins a hold of
// its own.
//
// Whether the key is still held is decided here, from what its source can
// tell (Hold), so that no source can leave it held without evidence:
//  - Sampled: the platform looks at the key before each tick (X11,
//    Windows); what it sees is the truth, and mends a missed edge.
//  - Repeats: the compositor reports the press, each of the keyboard's
//    repeats and the release, which it may skip (sway, when another key
//    went down during the hold). The hold lasts while repeats keep coming:
//    up to kFirstRepeatTicks for the first, kNextRepeatTicks between the
//    next ones. A release that never came costs at most that many ticks'
//    shots.
//  - Reported: the desktop reports press and release (a shortcut portal).
//    Its release is believed; once the desktop has shown that it repeats a
//    held key, the hold lasts only while repeats come, as above, and a
//    desktop that never repeats ends a hold without news after
//    kLongestReportedHoldTicks.
//  - PressesOnly: a compositor's binding that runs at the press and at
//    each repeat, with no release (labwc): the press makes one shot, and
//    the ticks shoot only while repeats come, so a tap is one shot. A
//    second tap before the keyboard's first repeat is told as that repeat:
//    it makes one shot, and the ticks shoot on only from the second repeat.
// A platform that can only look at the key at ticks keeps the tick running
// all the time, and reports what it sees just before the tick.

#include <cstdint>

#include "platform/keyboard.h"

namespace snapwick {

class HotkeyTrigger {
 public:
  enum class Hold : std::uint8_t { Sampled, Repeats, Reported, PressesOnly };

  // Ticks of 50 ms. The keyboard's first repeat comes 250 to 1000 ms after
  // the press (600 ms unless the user changed it), the next ones every 25
  // to 100 ms.
  static constexpr int kFirstRepeatTicks = 20;
  static constexpr int kNextRepeatTicks = 3;
  static constexpr int kLongestReportedHoldTicks = 200;

  enum class Ticks : std::uint8_t { Keep, Start, Stop };
  // What the owner does after a call: start or stop the tick first, then
  // make a shot. `owed`: the shot is a press's, which must not be lost
  // (see Defer); a held key's shot at a tick may be.
  struct Step {
    Ticks ticks = Ticks::Keep;
    bool shoot = false;
    bool owed = false;
    bool operator==(const Step&) const = default;
  };

  // A key is watched now (or none), as the platform reported it can.
  Step Watch(HotkeyWatch how);
  // The watched key went down, or repeats.
  Step Press() { return how_ == HotkeyWatch::None ? Step{} : Press(watchedHold_); }
  // A press, or a repeat, whose hold lasts by `hold`'s rule (a compositor's
  // binding, beside the watched key).
  Step Press(Hold hold);
  Step Release();
  // What a look at the key just before a tick found.
  Step Sample(bool down);
  Step Tick();
  // The platform would not start the ticks: the next press must not wait
  // for a tick that never comes.
  void TicksRefused();
  // A press's shot could not be taken yet (the last grab's frame is still
  // on its way): the next tick takes it.
  void Defer() { latched_ = true; }

  bool Ticking() const { return ticking_; }
  bool Held() const { return down_; }

 private:
  Step StartTicks();
  Step StopTicks();
  // Whether the hold has gone without evidence for longer than its rule
  // allows.
  bool Stale() const;

  HotkeyWatch how_ = HotkeyWatch::None;
  Hold watchedHold_ = Hold::Sampled;
  Hold hold_ = Hold::Sampled;  // the rule of the hold under way
  bool down_ = false;
  bool latched_ = false;
  bool ticking_ = false;
  // Repeats in this hold, counted up to kRepeatsSeen: a key whose
  // repeats go on.
  static constexpr int kRepeatsSeen = 2;
  int repeats_ = 0;
  bool desktopRepeats_ = false;  // a reported hold has shown repeats
  int quietTicks_ = 0;           // ticks since the press or the last repeat
};

}  // namespace snapwick
