#pragma once
// The hotkey, a Windows virtual-key code as set.ini stores it, as the keys
// of sway's bindsym/bindcode commands, so that the key sway reports is the
// physical key that the X11 build watches for the same code:
//  - keys whose keysym is the same in every layout (F1-F12, Print, Pause,
//    Escape, the keypad, the arrows ...) are bound by keysym, which also
//    fires for virtual keyboards that bring a keymap of their own. Where
//    the X11 build counts two physical keys as one code (both Shift keys,
//    Return and the keypad's Enter, Home and the keypad's 7 with Num Lock
//    off) each gets a binding;
//  - a letter is the key that types that Latin letter in the first layout,
//    as in the X11 build: `bindsym --to-code`, which sway translates to the
//    key codes of its first configured layout. A first layout without that
//    letter (Russian, Greek) keeps the letter on the key of the US keyboard
//    there, which only a key code can name, so given the keymap it is
//    bound by code;
//  - the digit row by key code (evdev code + 8, as every libinput keyboard
//    has it): those keys keep their US codes in every layout, whatever they
//    type (AZERTY's 1 key types '&'). F13-F24 too: XKB gives those keys the
//    keysyms of launchers (XF86Tools ...), and the keysyms F13-F24 to none.
// The punctuation keys (VK_OEM_*) move between layouts in ways only the
// whole keymap tells, and are not bound: they give nothing, as do codes
// that no key has.

#include <string>
#include <string_view>
#include <vector>

struct xkb_keymap;

namespace snapwick::wayland {

struct SwayKey {
  enum class Kind : unsigned char { Keysym, KeysymToCode, Keycode };
  Kind kind = Kind::Keysym;
  // A keysym name ("F8", "KP_7", "a") or a decimal key code ("10").
  std::string key;

  bool operator==(const SwayKey&) const = default;
};

// The keys to bind for virtualKey; empty when it cannot be bound.
// firstLayout, when known (the seat's keymap), decides how letters are
// bound: with it a letter that its first layout lacks goes to the US key.
std::vector<SwayKey> SwayKeysOf(int virtualKey, xkb_keymap* firstLayout = nullptr);

// The command that binds key to `nop name`: on its press and at each of
// the keyboard's repeats while it is held, or on its release.
std::string BindCommand(const SwayKey& key, bool onRelease, std::string_view name);
// The command that removes that binding again.
std::string UnbindCommand(const SwayKey& key, bool onRelease);

}  // namespace snapwick::wayland
