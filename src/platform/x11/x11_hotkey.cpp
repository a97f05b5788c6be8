#include "platform/x11/x11_hotkey.h"

namespace snapwick::x11 {

X11HotkeySource::X11HotkeySource(std::shared_ptr<XDisplay> display,
                                 std::shared_ptr<XKeyboard> keyboard, bool rawEvents)
    : display_(std::move(display)), keyboard_(std::move(keyboard)) {
  raw_ = rawEvents && keyboard_->WatchKeys([this](Keycode code, bool down, bool repeat) {
    // Only the newest presses matter if nobody reads them for long.
    if (keys_.size() >= kMaxWaiting) keys_.pop_front();
    keys_.push_back({code, down, repeat});
  });
}

HotkeyWatch X11HotkeySource::Watch(int virtualKey) {
  virtualKey_ = virtualKey;
  if (virtualKey == 0) {
    edges_.Watch({}, {});
    return HotkeyWatch::None;
  }
  // A key that no keycode makes now may have one after a layout change:
  // it is still watched.
  const auto codes = keyboard_->KeycodesOf(virtualKey);
  edges_.Watch(codes, keyboard_->DownNow());
  return raw_ ? HotkeyWatch::Edges : HotkeyWatch::AtTicks;
}

void X11HotkeySource::Rekey() {
  if (virtualKey_ == 0) return;
  // A keypad key's keycodes change with Num Lock, which has no event.
  if (keyboard_->MappingChanged() || keyboard_->FollowsNumLock(virtualKey_)) {
    edges_.Rekey(keyboard_->KeycodesOf(virtualKey_));
  }
}

void X11HotkeySource::HandOut() {
  display_->ReadEvents();
  if (keys_.empty()) return;
  Rekey();
  // One at a time: the program's answer to an edge (a shot) may read
  // more events.
  while (!keys_.empty()) {
    const RawKey key = keys_.front();
    keys_.pop_front();
    Raise(edges_.OnKey(key.code, key.down, key.repeat));
  }
}

void X11HotkeySource::Dispatch() { HandOut(); }

void X11HotkeySource::Sample() {
  // The events read so far are older than the keymap asked next; those
  // that Xlib reads while waiting for its reply wait for Dispatch.
  HandOut();
  if (virtualKey_ == 0) return;
  Rekey();
  // A key held since the watch began does not count as down.
  (void)edges_.OnSample(keyboard_->DownNow());
  if (onKey_) onKey_(edges_.Down() ? KeySeen::DownNow : KeySeen::UpNow);
}

void X11HotkeySource::Raise(std::optional<bool> edge) {
  if (edge && onKey_) onKey_(*edge ? KeySeen::Down : KeySeen::Up);
}

}  // namespace snapwick::x11
