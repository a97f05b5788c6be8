#pragma once
// TEMPORARY STAND-IN, to be deleted when the keyboard mapping module is
// merged: it has that module's interface but knows only the F-keys, the
// digits and the letters, enough to run the program.

#include <xkbcommon/xkbcommon.h>

#include <optional>
#include <string>
#include <vector>

namespace snapwick::x11 {

struct KeyDescription {
  int virtualKey = 0;
  std::string name;
};

class KeyMap {
 public:
  // The keymap must outlive this object.
  explicit KeyMap(xkb_keymap* keymap) : keymap_(keymap) {}

  std::optional<KeyDescription> Describe(xkb_keycode_t keycode, bool numLockOn) const;
  std::vector<xkb_keycode_t> KeycodesOf(int virtualKey) const;

 private:
  xkb_keymap* keymap_;
};

}  // namespace snapwick::x11
