#include "capture/hotkey_trigger.h"

namespace snapwick {
namespace {

HotkeyTrigger::Hold HoldOf(HotkeyWatch how) {
  switch (how) {
    case HotkeyWatch::Repeats:
      return HotkeyTrigger::Hold::Repeats;
    case HotkeyWatch::Reported:
      return HotkeyTrigger::Hold::Reported;
    case HotkeyWatch::None:
    case HotkeyWatch::Edges:
    case HotkeyWatch::AtTicks:
      break;
  }
  return HotkeyTrigger::Hold::Sampled;
}

}  // namespace

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
  watchedHold_ = HoldOf(how);
  // Whatever was held or latched belonged to the key watched before.
  down_ = false;
  latched_ = false;
  return how == HotkeyWatch::AtTicks ? StartTicks() : StopTicks();
}

HotkeyTrigger::Step HotkeyTrigger::Press(Hold hold) {
  // A press by another rule than the hold in course comes from another
  // source (the compositor's binding beside the watched key): that key's
  // own press, whose hold follows its own rule.
  if (down_ && hold == hold_) {
    // A repeat: evidence that the key is still held, never a new press.
    // A binding without a release cannot tell the key's first repeat from
    // a second tap before it: that one makes one shot, at the next tick,
    // and the ticks shoot on once the repeats go on.
    if (hold_ == Hold::PressesOnly && repeats_ == 0) latched_ = true;
    if (repeats_ < kRepeatsSeen) ++repeats_;
    quietTicks_ = 0;
    if (hold_ == Hold::Reported) desktopRepeats_ = true;
    return {};
  }
  down_ = true;
  hold_ = hold;
  repeats_ = 0;
  quietTicks_ = 0;
  if (ticking_) {
    latched_ = true;
    return {};
  }
  // The first shot at the press, not up to a tick later; the ticks count
  // from here.
  Step step = StartTicks();
  step.shoot = true;
  step.owed = true;
  return step;
}

HotkeyTrigger::Step HotkeyTrigger::Release() {
  down_ = false;
  return {};
}

HotkeyTrigger::Step HotkeyTrigger::Sample(bool down) {
  // Only a platform that looks at the key can say what it looked like.
  if (how_ != HotkeyWatch::Edges && how_ != HotkeyWatch::AtTicks) return {};
  if (down && !down_) return Press(Hold::Sampled);
  if (!down && down_ && hold_ == Hold::Sampled) down_ = false;
  return {};
}

bool HotkeyTrigger::Stale() const {
  switch (hold_) {
    case Hold::Sampled:
      return false;
    case Hold::Repeats:
    case Hold::PressesOnly:
      return quietTicks_ > (repeats_ > 0 ? kNextRepeatTicks : kFirstRepeatTicks);
    case Hold::Reported:
      if (repeats_ > 0) return quietTicks_ > kNextRepeatTicks;
      return quietTicks_ > (desktopRepeats_ ? kFirstRepeatTicks : kLongestReportedHoldTicks);
  }
  return false;
}

HotkeyTrigger::Step HotkeyTrigger::Tick() {
  // A tick that was on its way when the ticks stopped.
  if (!ticking_) return {};
  if (down_) {
    ++quietTicks_;
    if (Stale()) down_ = false;
  }
  // A press that runs no release binding shoots on only while it repeats.
  const bool held = down_ && (hold_ != Hold::PressesOnly || repeats_ >= kRepeatsSeen);
  const bool owed = latched_;
  latched_ = false;
  if (!held && !owed && !down_ && how_ != HotkeyWatch::AtTicks) return StopTicks();
  return {Ticks::Keep, held || owed, owed};
}

void HotkeyTrigger::TicksRefused() {
  ticking_ = false;
  latched_ = false;
  // Without ticks no hold can be followed: the next press is a press.
  down_ = false;
}

}  // namespace snapwick
