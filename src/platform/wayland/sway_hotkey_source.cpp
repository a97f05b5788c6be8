#include "platform/wayland/sway_hotkey_source.h"

namespace snapwick::wayland {

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
  // A key held when sway went is reported up first.
  if (!hotkey_->ProcessEvents()) gone_ = true;
}

}  // namespace snapwick::wayland
