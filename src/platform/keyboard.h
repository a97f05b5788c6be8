#pragma once
// Keys, as virtual-key codes on every platform: they are what set.ini
// stores.

#include <cstdint>

#include "platform/status.h"

namespace snapwick {

// How the platform learns of the hotkey, which decides how the program
// tells a held key from a released one (capture/hotkey_trigger.h).
enum class HotkeyWatch : std::uint8_t {
  // It cannot watch this key: no shots.
  None,
  // It sees the key go down and up, whatever application has the focus,
  // and looks at the key just before each tick while the ticks run, which
  // mends an edge its events missed.
  Edges,
  // It can only look at the key just before each tick, so the ticks must
  // run all the time.
  AtTicks,
  // The desktop reports the key's press and release (a shortcut it binds
  // for the program), perhaps with the keyboard's repeats in between. It
  // answers whether it holds the key at all only later, with
  // OnHotkeyBound: the key counts as in force from then on.
  Reported,
  // The compositor runs a binding at the press, again at each of the
  // keyboard's repeats while the key is held, and at the release, unless
  // another key went down during the hold, when the release never comes.
  Repeats,
};

// What the platform saw of the watched key. It reports every press it
// hears, repeats included, and need not tell them apart: the program does.
enum class KeySeen : std::uint8_t {
  Down,     // the key went down, or was reported down again while held
  Up,       // the key went up
  DownNow,  // a look at the key just before a tick found it down
  UpNow,    // ... found it up
};

// A key binding of the compositor's own, for compositors that offer the
// program no other way to a key: the binding starts the program again with
// an argument, and that start tells the running copy.
enum class CompositorKey : std::uint8_t {
  // The binding's key went down, or repeats while held (a binding that
  // the compositor repeats); no release follows.
  Press,
  // The binding's key went down; its release binding reports Up.
  Down,
  Up,
};

class KeyboardApi {
 public:
  virtual ~KeyboardApi() = default;

  // Watches the key anywhere in the system, instead of the one watched
  // before; 0 watches none.
  virtual HotkeyWatch WatchHotkey(int virtualKey) = 0;
  // While on, reports the keys released while a window of the program has
  // the focus (WindowEvents::OnKeyReleased); every key still reaches the
  // focused control.
  virtual Status SetKeyCapture(bool on) = 0;
};

}  // namespace snapwick
