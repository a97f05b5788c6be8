#include "capture/hotkey_trigger.h"

namespace snapwick {

HotkeyTrigger::Step HotkeyTrigger::StartTicks() {
  if (ticking_) return {};
  ticking_ = true;
  return {Ticks::Start, false};
}

HotkeyTrigger::Step HotkeyTrigger::StopTicks() {
  if (!ticking_) return {};
  ticking_ = false;
  return {Ticks::Stop, false};
}

HotkeyTrigger::Step HotkeyTrigger::Watch(HotkeyWatch how) {
  how_ = how;
  // Whatever was down or latched belonged to the key watched before.
  down_ = false;
  latched_ = false;
  return how == HotkeyWatch::AtTicks ? StartTicks() : StopTicks();
}

HotkeyTrigger::Step HotkeyTrigger::Down() {
  // A second down without an up is a repeat, not a press.
  if (how_ == HotkeyWatch::None || down_) return {};
  down_ = true;
  if (ticking_) {
    latched_ = true;
    return {};
  }
  // The first shot at the press, not up to a tick later; the ticks count
  // from here.
  Step step = StartTicks();
  step.shoot = true;
  return step;
}

HotkeyTrigger::Step HotkeyTrigger::Up() {
  down_ = false;
  return {};
}

HotkeyTrigger::Step HotkeyTrigger::Tick() {
  // A tick that was on its way when the ticks stopped.
  if (!ticking_) return {};
  const bool shoot = down_ || latched_;
  latched_ = false;
  if (!shoot && how_ != HotkeyWatch::AtTicks) return StopTicks();
  return {Ticks::Keep, shoot};
}

void HotkeyTrigger::TicksRefused() {
  ticking_ = false;
  latched_ = false;
}

}  // namespace snapwick
