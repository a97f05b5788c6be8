#pragma once
// When the hotkey makes shots. A press makes one shot at once and starts
// the 50 ms tick; every tick then makes one shot while the key is down or
// a press is latched, and the tick stops at the first one that finds
// neither, so nothing runs at rest. A press that comes while the tick runs
// is latched until the next tick, so a tap shorter than a tick still makes
// exactly one shot and a held key never more than one a tick. A platform
// that can only look at the key's state at ticks keeps the tick running
// all the time, and its edges come just before the tick that saw them.

#include <cstdint>

#include "platform/keyboard.h"

namespace snapwick {

class HotkeyTrigger {
 public:
  enum class Ticks : std::uint8_t { Keep, Start, Stop };
  // What the owner does after a call: start or stop the tick first, then
  // make a shot.
  struct Step {
    Ticks ticks = Ticks::Keep;
    bool shoot = false;
    bool operator==(const Step&) const = default;
  };

  // A key is watched now (or none), as the platform reported it can.
  Step Watch(HotkeyWatch how);
  Step Down();
  Step Up();
  Step Tick();
  // The platform would not start the ticks: the next press must not wait
  // for a tick that never comes.
  void TicksRefused();

  bool Ticking() const { return ticking_; }

 private:
  Step StartTicks();
  Step StopTicks();

  HotkeyWatch how_ = HotkeyWatch::None;
  bool down_ = false;
  bool latched_ = false;
  bool ticking_ = false;
};

}  // namespace snapwick
