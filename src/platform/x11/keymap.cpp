// TEMPORARY STAND-IN: see keymap.h.
#include "platform/x11/keymap.h"

#include <xkbcommon/xkbcommon.h>

namespace snapwick::x11 {

KeyMap::KeyMap(xkb_keymap* keymap) {
  const xkb_keycode_t last = xkb_keymap_max_keycode(keymap);
  for (xkb_keycode_t k = xkb_keymap_min_keycode(keymap); k <= last && k < 256; ++k) {
    const xkb_keysym_t* syms = nullptr;
    if (xkb_keymap_key_get_syms_by_level(keymap, k, 0, 0, &syms) < 1) continue;
    const xkb_keysym_t sym = syms[0];
    std::optional<KeyDescription> key;
    if (sym >= XKB_KEY_F1 && sym <= XKB_KEY_F24) {
      const int n = static_cast<int>(sym - XKB_KEY_F1);
      key = KeyDescription{0x70 + n, "F" + std::to_string(n + 1)};
    } else if (sym >= XKB_KEY_a && sym <= XKB_KEY_z) {
      const char c = static_cast<char>('A' + (sym - XKB_KEY_a));
      key = KeyDescription{c, std::string(1, c)};
    } else if (sym >= XKB_KEY_0 && sym <= XKB_KEY_9) {
      const char c = static_cast<char>('0' + (sym - XKB_KEY_0));
      key = KeyDescription{c, std::string(1, c)};
    }
    if (!key) continue;
    keys_[k] = key;
    keycodes_[static_cast<std::size_t>(key->virtualKey)].push_back(k);
  }
}

std::optional<KeyDescription> KeyMap::Describe(Keycode keycode, std::uint32_t, bool) const {
  if (keycode >= keys_.size()) return std::nullopt;
  return keys_[keycode];
}

std::span<const Keycode> KeyMap::KeycodesOf(int virtualKey, bool) const {
  if (virtualKey < 0 || virtualKey >= static_cast<int>(keycodes_.size())) return {};
  return keycodes_[static_cast<std::size_t>(virtualKey)];
}

bool KeyMap::FollowsNumLock(int) const { return false; }

}  // namespace snapwick::x11
