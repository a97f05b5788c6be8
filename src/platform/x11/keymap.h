#pragma once
// TEMPORARY STAND-IN, to be deleted when the keyboard mapping module is
// merged: it has that module's interface but knows only the F-keys, the
// digits and the letters of the first layout, enough to run the program.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct xkb_keymap;

namespace snapwick::x11 {

using Keycode = std::uint32_t;

struct KeyDescription {
  int virtualKey = 0;
  std::string name;

  bool operator==(const KeyDescription&) const = default;
};

class KeyMap {
 public:
  explicit KeyMap(xkb_keymap* keymap);

  std::optional<KeyDescription> Describe(Keycode keycode, std::uint32_t layout,
                                         bool numLockOn) const;
  std::span<const Keycode> KeycodesOf(int virtualKey, bool numLockOn) const;
  bool FollowsNumLock(int virtualKey) const;

 private:
  std::array<std::optional<KeyDescription>, 256> keys_{};
  std::array<std::vector<Keycode>, 256> keycodes_{};
};

}  // namespace snapwick::x11
