// TEMPORARY STAND-IN: see keymap.h.
#include "platform/x11/keymap.h"

#include <xkbcommon/xkbcommon-keysyms.h>

namespace snapwick::x11 {

std::optional<KeyDescription> KeyMap::Describe(xkb_keycode_t keycode, bool) const {
  const xkb_keysym_t* syms = nullptr;
  if (xkb_keymap_key_get_syms_by_level(keymap_, keycode, 0, 0, &syms) < 1) return std::nullopt;
  const xkb_keysym_t sym = syms[0];
  if (sym >= XKB_KEY_F1 && sym <= XKB_KEY_F24) {
    const int n = static_cast<int>(sym - XKB_KEY_F1);
    return KeyDescription{0x70 + n, "F" + std::to_string(n + 1)};
  }
  if (sym >= XKB_KEY_a && sym <= XKB_KEY_z) {
    const char c = static_cast<char>('A' + (sym - XKB_KEY_a));
    return KeyDescription{c, std::string(1, c)};
  }
  if (sym >= XKB_KEY_0 && sym <= XKB_KEY_9) {
    const char c = static_cast<char>('0' + (sym - XKB_KEY_0));
    return KeyDescription{c, std::string(1, c)};
  }
  return std::nullopt;
}

std::vector<xkb_keycode_t> KeyMap::KeycodesOf(int virtualKey) const {
  std::vector<xkb_keycode_t> codes;
  const xkb_keycode_t last = xkb_keymap_max_keycode(keymap_);
  for (xkb_keycode_t k = xkb_keymap_min_keycode(keymap_); k <= last; ++k) {
    const auto key = Describe(k, false);
    if (key && key->virtualKey == virtualKey) codes.push_back(k);
  }
  return codes;
}

}  // namespace snapwick::x11
