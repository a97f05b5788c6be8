#include "platform/wayland/sway_hotkey_source.h"

#include "platform/linux/keymap.h"
#include "platform/wayland/sway_keys.h"

namespace snapwick::wayland {
namespace {

// The key's name in the settings panel's words (the X11 build's), from the
// seat's keymap; without one, sway's name for it.
std::string KeyName(int virtualKey, xkb_keymap* keymap) {
  if (keymap) {
    const linux::KeyMap keys(keymap);
    // The keypad's digits have their codes with Num Lock on only.
    for (const bool numLockOn : {false, true}) {
      for (const linux::Keycode code : keys.KeycodesOf(virtualKey, numLockOn)) {
        if (auto described = keys.Describe(code, 0, numLockOn)) return described->name;
      }
    }
  }
  const std::vector<SwayKey> bound = SwayKeysOf(virtualKey, keymap);
  return bound.empty() ? std::string() : bound.front().key;
}

}  // namespace

std::unique_ptr<SwayHotkeySource> SwayHotkeySource::Connect(FirstLayout firstLayout,
                                                            std::string socketPath) {
  std::unique_ptr<SwayHotkeySource> source(new SwayHotkeySource(std::move(firstLayout)));
  // What sway ran comes only from ProcessEvents, that is from Dispatch.
  SwayHotkeySource* self = source.get();
  source->hotkey_ = SwayHotkey::Connect(
      [self](bool down) {
        if (self->onKey_) self->onKey_(down ? KeySeen::Down : KeySeen::Up);
      },
      std::move(socketPath));
  if (!source->hotkey_) return nullptr;
  return source;
}

HotkeyWatch SwayHotkeySource::Watch(int virtualKey) {
  refused_ = false;
  if (virtualKey == 0 || gone_) {
    hotkey_->Unbind();
    return HotkeyWatch::None;
  }
  hotkey_->SetFirstLayout(firstLayout_ ? firstLayout_() : nullptr);
  if (hotkey_->Watch(virtualKey)) return HotkeyWatch::Repeats;
  refused_ = true;
  return HotkeyWatch::None;
}

int SwayHotkeySource::EventFd() const { return gone_ ? -1 : hotkey_->EventFd(); }

void SwayHotkeySource::Dispatch() {
  if (refused_) {
    refused_ = false;
    if (onBound_) onBound_({});
  }
  if (gone_) return;
  // A reload may take the key for the configuration's own binding, or give
  // it back; a sway that has gone holds it no more. A key held then is
  // reported up first.
  const bool wasBound = hotkey_->Watching();
  if (!hotkey_->ProcessEvents()) gone_ = true;
  if (hotkey_->Watching() == wasBound || !onBound_) return;
  onBound_(wasBound ? std::string()
                    : KeyName(hotkey_->VirtualKey(), firstLayout_ ? firstLayout_() : nullptr));
}

}  // namespace snapwick::wayland
