#pragma once
// X keys as the Windows build names them: set.ini stores a Windows
// virtual-key code and the key's name, and must mean the same key on both
// systems.
//
// A key's code comes from the physical key, found by its XKB name (AE01,
// FK08, KP7...; with the evdev keycodes that every Linux server uses, the
// evdev code plus 8, but the name holds for other numberings too), read as
// the set-1 scan code of a PC keyboard and mapped through the US layout's
// scan-code table, except that
//  - a key that types a Latin letter in the keymap's first layout takes
//    that letter's code, so that QWERTZ's Z key is 'Z' and AZERTY's A key
//    'A', as the Windows layouts have it. The code stays the same whichever
//    layout is active, so a hotkey keeps working across a layout switch;
//  - keypad keys follow Num Lock: the 7 is VK_NUMPAD7 with it on, VK_HOME
//    with it off;
//  - left and right Shift, Ctrl and Alt report the generic VK_SHIFT,
//    VK_CONTROL and VK_MENU, as the keyboard hook of the Windows build
//    receives them.
// A key's name is what GetKeyNameText gives with the US layout for a
// released key: the name of its scan code ("F8", "Right Shift", "Num 7",
// whatever Num Lock says) or, for a key that types a character, that
// character in the active layout, upper-cased one character at a time
// ("ф" gives "Ф", "ß" stays "ß").

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct xkb_keymap;

namespace snapwick::linux {

// An X keycode: the evdev code plus 8.
using Keycode = std::uint32_t;

struct KeyDescription {
  int virtualKey = 0;
  // UTF-8.
  std::string name;

  bool operator==(const KeyDescription&) const = default;
};

// Both directions are tables built once from the keymap: the key poll asks
// KeycodesOf on every tick. Rebuild it when the server's mapping changes.
class KeyMap {
 public:
  // Reads all it needs now; the keymap may be released afterwards.
  explicit KeyMap(xkb_keymap* keymap);

  // The key's code and name with the given layout (XKB group) active.
  // Nothing for a key that Windows gives no code or no name: the program
  // ignores those keys. Modifiers other than Num Lock do not matter:
  // Ctrl+Pause is still Pause, Alt+Print still Print.
  std::optional<KeyDescription> Describe(Keycode keycode, std::uint32_t layout,
                                         bool numLockOn) const;

  // The keys whose being down means the virtual key is down: the exact
  // inverse of Describe's codes. Both Shift keys for VK_SHIFT; for VK_MENU
  // both Alt keys, the right one also when the layout makes it AltGr (which
  // does not count as Ctrl here, unlike Windows' AltGr). Empty for a code
  // that no key has. The span lives as long as this KeyMap.
  std::span<const Keycode> KeycodesOf(int virtualKey, bool numLockOn) const;

  // Whether KeycodesOf(virtualKey, ...) depends on Num Lock, so that the
  // poll needs to ask for its state only for keypad and navigation keys.
  bool FollowsNumLock(int virtualKey) const;

 private:
  static constexpr std::size_t kKeycodes = 256;
  static constexpr std::size_t kVirtualKeys = 256;

  struct Key {
    std::uint8_t virtualKeyNumLockOff = 0;
    std::uint8_t virtualKeyNumLockOn = 0;
  };

  std::array<Key, kKeycodes> keys_{};
  // [layout][keycode]; empty where the key has no name in that layout.
  std::vector<std::vector<std::string>> names_;
  // [numLockOn][virtual key]
  std::array<std::array<std::vector<Keycode>, kVirtualKeys>, 2> keycodes_;
};

}  // namespace snapwick::linux
