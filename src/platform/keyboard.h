#pragma once
// Keys, as virtual-key codes on every platform: they are what set.ini
// stores.

#include <cstdint>

#include "platform/status.h"

namespace snapwick {

// How the platform learns of the hotkey.
enum class HotkeyWatch : std::uint8_t {
  // It cannot watch this key: no shots.
  None,
  // It raises OnHotkeyDown and OnHotkeyUp as the key goes down and up,
  // whatever application has the focus.
  Edges,
  // It can only look at the key's state: it raises the edges it sees just
  // before each OnTick, so the ticks must run all the time.
  AtTicks,
};

class KeyboardApi {
 public:
  virtual ~KeyboardApi() = default;

  // Watches the key anywhere in the system, instead of the one watched
  // before; 0 watches none. A held key's repeats are no edges.
  virtual HotkeyWatch WatchHotkey(int virtualKey) = 0;
  // While on, reports the keys released while a window of the program has
  // the focus (WindowEvents::OnKeyReleased); every key still reaches the
  // focused control.
  virtual Status SetKeyCapture(bool on) = 0;
};

}  // namespace snapwick
