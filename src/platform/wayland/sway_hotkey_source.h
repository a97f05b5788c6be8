#pragma once
// The hotkey under sway, as the Linux platform watches it: SwayHotkey's
// bindings, what sway runs of them handed out from the event loop when
// sway's events arrive on their descriptor: every run of the press binding
// (the press and each of the keyboard's repeats) as Down, the release
// binding's as Up, and the program ends a hold whose repeats stopped
// (HotkeyWatch::Repeats). A key that sway will not bind, or a sway that has
// gone, watches nothing (HotkeyWatch::None): no shots, and the key is left
// to applications. A key refused so is told as no key in force, from the
// event loop, so that the user hears why the key makes no shots; so is a
// key that a reload of sway's configuration took for the configuration's
// own binding, and the key again once a later reload gives it back.

#include <functional>
#include <memory>
#include <string>

#include "platform/linux/session_parts.h"
#include "platform/wayland/sway_hotkey.h"

struct xkb_keymap;

namespace snapwick::wayland {

class SwayHotkeySource final : public linux::HotkeySource {
 public:
  // The keymap whose first layout decides which key a letter is, asked
  // anew at every Watch (the seat's may change); nullptr lets sway decide.
  using FirstLayout = std::function<xkb_keymap*()>;

  // Nothing when sway cannot be reached (socketPath, else where
  // FindSwaySocket finds it).
  static std::unique_ptr<SwayHotkeySource> Connect(FirstLayout firstLayout,
                                                   std::string socketPath = {});

  void SetKeyHandler(KeyHandler onKey) override { onKey_ = std::move(onKey); }
  void SetBoundHandler(BoundHandler onBound) override { onBound_ = std::move(onBound); }
  HotkeyWatch Watch(int virtualKey) override;
  // -1 once sway has gone.
  int EventFd() const override;
  void Dispatch() override;
  bool Pending() const override { return refused_; }

  const SwayHotkey& Hotkey() const { return *hotkey_; }

 private:
  explicit SwayHotkeySource(FirstLayout firstLayout) : firstLayout_(std::move(firstLayout)) {}

  FirstLayout firstLayout_;
  KeyHandler onKey_;
  BoundHandler onBound_;
  std::unique_ptr<SwayHotkey> hotkey_;
  bool gone_ = false;
  // The last Watch asked for a key sway would not bind: not yet told.
  bool refused_ = false;
};

}  // namespace snapwick::wayland
