#include "platform/x11/tick_driver.h"

namespace snapwick::x11 {

TimerChange TickDriver::Start() {
  if (started_) return TimerChange::None;
  started_ = true;
  if (wakeOnKeys_) return TimerChange::None;
  running_ = true;
  return TimerChange::Start;
}

TimerChange TickDriver::Stop() {
  started_ = false;
  pressed_.reset();
  held_.reset();
  if (!running_) return TimerChange::None;
  running_ = false;
  return TimerChange::Stop;
}

TimerChange TickDriver::OnPress(Keycode keycode) {
  if (!wakeOnKeys_ || !started_ || keycode >= pressed_.size()) return TimerChange::None;
  if (held_.test(keycode)) return TimerChange::None;
  held_.set(keycode);
  pressed_.set(keycode);
  // A held key's repeats, and a second key, find the timer running.
  if (running_) return TimerChange::None;
  running_ = true;
  return TimerChange::StartNow;
}

void TickDriver::OnRelease(Keycode keycode) {
  if (keycode < held_.size()) held_.reset(keycode);
}

bool TickDriver::AskDown(std::span<const Keycode> codes, const std::function<KeySet()>& downNow) {
  askedThisTick_ = true;
  auto any = [&codes](const KeySet& keys) {
    for (const Keycode code : codes) {
      if (code < keys.size() && keys.test(code)) return true;
    }
    return false;
  };
  const bool result = any(pressed_) || any(downNow()) || any(pressed_);
  // The tick asks about the one key that matters; a press of any other
  // key has had its tick too, or it would keep the timer running.
  pressed_.reset();
  return result;
}

TimerChange TickDriver::OnTickEnd(const KeySet& down) {
  // A tick that asked nothing (no hotkey) never will: the presses it saw
  // are spent.
  if (!askedThisTick_) pressed_.reset();
  askedThisTick_ = false;
  // A release that was never heard of (the key went up while the program
  // was starting) would hide the key's next press.
  held_ &= down;
  if (!wakeOnKeys_ || !running_) return TimerChange::None;
  // A press read after the question is the next tick's to answer.
  if (down.any() || pressed_.any()) return TimerChange::None;
  running_ = false;
  return TimerChange::Stop;
}

}  // namespace snapwick::x11
