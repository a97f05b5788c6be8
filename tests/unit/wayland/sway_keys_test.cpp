// The keys bound in sway for each virtual-key code, held against the keys
// the X11 build watches for that code, in keymaps compiled from the
// installed XKB data as a compositor compiles them. Sway's matching is
// played here on the keymap: a keysym binding fires on the keys that type
// the keysym in the first layout (with Num Lock on or off), a --to-code
// binding on the keys that type it with no modifier in the first layout,
// a key-code binding on that key.

#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon.h>

#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/linux/keymap.h"
#include "platform/wayland/sway_keys.h"

namespace snapwick::wayland {
namespace {

struct KeymapUnref {
  void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
using KeymapPtr = std::unique_ptr<xkb_keymap, KeymapUnref>;

KeymapPtr Compile(const char* layout) {
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
  const xkb_rule_names names{"evdev", "pc105", layout, "", ""};
  KeymapPtr keymap(xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
  xkb_context_unref(context);
  return keymap;
}

using Keycodes = std::set<xkb_keycode_t>;

// The keys on which sway runs the binding, in the first layout.
Keycodes Fires(xkb_keymap* keymap, const SwayKey& key, bool numLockOn) {
  Keycodes fired;
  if (key.kind == SwayKey::Kind::Keycode) {
    fired.insert(static_cast<xkb_keycode_t>(std::stoi(key.key)));
    return fired;
  }
  const xkb_keysym_t sym = xkb_keysym_from_name(key.key.c_str(), XKB_KEYSYM_CASE_INSENSITIVE);
  EXPECT_NE(sym, XKB_KEY_NoSymbol) << key.key << " is no keysym that sway knows";
  xkb_state* state = xkb_state_new(keymap);
  const xkb_mod_index_t numLock = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_NUM);
  xkb_state_update_mask(state, 0, 0, numLockOn ? 1u << numLock : 0, 0, 0, 0);
  for (xkb_keycode_t k = xkb_keymap_min_keycode(keymap); k <= xkb_keymap_max_keycode(keymap); ++k) {
    if (key.kind == SwayKey::Kind::KeysymToCode) {
      const xkb_keysym_t* syms = nullptr;
      if (xkb_keymap_key_get_syms_by_level(keymap, k, 0, 0, &syms) == 1 && syms[0] == sym) {
        fired.insert(k);
      }
    } else if (xkb_state_key_get_one_sym(state, k) == sym) {
      fired.insert(k);
    }
  }
  xkb_state_unref(state);
  return fired;
}

Keycodes FiresAny(xkb_keymap* keymap, const std::vector<SwayKey>& keys, bool numLockOn) {
  Keycodes fired;
  for (const SwayKey& key : keys) fired.merge(Fires(keymap, key, numLockOn));
  return fired;
}

// Only the keys of a PC keyboard, the ones the X11 build gives codes: XKB's
// keymaps also give keysyms such as Print or ISO_Level3_Shift to keys that
// PC keyboards lack (evdev KEY_PRINT, the LVL3 key), which a keysym
// binding would catch too.
Keycodes OnPcKeyboards(const linux::KeyMap& keys, Keycodes fired, bool numLockOn) {
  Keycodes coded;
  for (int vk = 1; vk < 256; ++vk) {
    for (const linux::Keycode k : keys.KeycodesOf(vk, numLockOn)) coded.insert(k);
  }
  std::erase_if(fired, [&](xkb_keycode_t k) { return !coded.count(k); });
  return fired;
}

Keycodes X11Keys(const linux::KeyMap& keys, int virtualKey, bool numLockOn) {
  const std::span<const linux::Keycode> found = keys.KeycodesOf(virtualKey, numLockOn);
  return {found.begin(), found.end()};
}

// The punctuation keys, which the X11 build watches but sway is not asked
// to bind (see sway_keys.h).
const std::set<int> kPunctuation = {0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF, 0xC0,
                                    0xC1, 0xDB, 0xDC, 0xDD, 0xDE, 0xE2};

TEST(SwayKeysTest, EveryCode_WithKeymap_SameKeysAsTheX11Build) {
  for (const char* layout : {"us", "de", "fr", "ru"}) {
    KeymapPtr keymap = Compile(layout);
    ASSERT_TRUE(keymap) << "xkb-data has no layout " << layout;
    const linux::KeyMap x11Keys(keymap.get());
    for (int vk = 1; vk < 256; ++vk) {
      const std::vector<SwayKey> bound = SwayKeysOf(vk, keymap.get());
      for (const bool numLockOn : {false, true}) {
        const Keycodes watched = X11Keys(x11Keys, vk, numLockOn);
        if (bound.empty()) {
          EXPECT_TRUE(watched.empty() || kPunctuation.count(vk))
              << layout << ": 0x" << std::hex << vk << " is not bound but has keys";
          continue;
        }
        EXPECT_EQ(OnPcKeyboards(x11Keys, FiresAny(keymap.get(), bound, numLockOn), numLockOn),
                  watched)
            << layout << ": 0x" << std::hex << vk << (numLockOn ? " with" : " without")
            << " Num Lock";
      }
    }
  }
}

TEST(SwayKeysTest, Letters_LatinFirstLayoutWithoutKeymap_SwayTranslatesToTheSameKey) {
  for (const char* layout : {"us", "de", "fr"}) {
    KeymapPtr keymap = Compile(layout);
    const linux::KeyMap x11Keys(keymap.get());
    for (int vk = 'A'; vk <= 'Z'; ++vk) {
      const std::vector<SwayKey> bound = SwayKeysOf(vk);
      ASSERT_EQ(bound.size(), 1u);
      EXPECT_EQ(bound[0].kind, SwayKey::Kind::KeysymToCode);
      EXPECT_EQ(FiresAny(keymap.get(), bound, true), X11Keys(x11Keys, vk, true))
          << layout << ": " << static_cast<char>(vk);
    }
  }
}

TEST(SwayKeysTest, Letters_CyrillicFirstLayout_UsKeyByCodeOnlyWithKeymap) {
  KeymapPtr keymap = Compile("ru");
  // Sway cannot translate a letter the first layout lacks: the binding
  // would never fire on the keyboard.
  EXPECT_TRUE(FiresAny(keymap.get(), SwayKeysOf('F'), true).empty());
  const std::vector<SwayKey> bound = SwayKeysOf('F', keymap.get());
  ASSERT_EQ(bound.size(), 1u);
  EXPECT_EQ(bound[0], (SwayKey{SwayKey::Kind::Keycode, "41"}));  // evdev KEY_F, the key of А
}

TEST(SwayKeysTest, Letters_GermanKeymap_ToCodeOnTheKeyThatTypesTheLetter) {
  KeymapPtr keymap = Compile("de");
  EXPECT_EQ(SwayKeysOf('Z', keymap.get()),
            (std::vector<SwayKey>{{SwayKey::Kind::KeysymToCode, "z"}}));
  // QWERTZ's Z is where US keyboards have Y: evdev KEY_Y (21) + 8.
  EXPECT_EQ(FiresAny(keymap.get(), SwayKeysOf('Z', keymap.get()), true), Keycodes{29});
}

TEST(SwayKeysTest, Names_WhatSwayIsToldForCommonHotkeys) {
  using Kind = SwayKey::Kind;
  EXPECT_EQ(SwayKeysOf(0x77), (std::vector<SwayKey>{{Kind::Keysym, "F8"}}));
  EXPECT_EQ(SwayKeysOf(0x2C), (std::vector<SwayKey>{{Kind::Keysym, "Print"}}));
  EXPECT_EQ(SwayKeysOf(0x13), (std::vector<SwayKey>{{Kind::Keysym, "Pause"}}));
  EXPECT_EQ(SwayKeysOf(0x65), (std::vector<SwayKey>{{Kind::Keysym, "KP_5"}}));
  EXPECT_EQ(SwayKeysOf('1'), (std::vector<SwayKey>{{Kind::Keycode, "10"}}));
  EXPECT_EQ(SwayKeysOf(0x7C), (std::vector<SwayKey>{{Kind::Keycode, "191"}}));  // F13
  EXPECT_EQ(SwayKeysOf(0x10),
            (std::vector<SwayKey>{{Kind::Keysym, "Shift_L"}, {Kind::Keysym, "Shift_R"}}));
  for (int none : {0, -1, 256, 0x07, 0xBA, 0xFF}) EXPECT_TRUE(SwayKeysOf(none).empty()) << none;
}

TEST(SwayKeysTest, Commands_PressRepeatedReleaseAndTheirUnbind) {
  using Kind = SwayKey::Kind;
  const SwayKey f8{Kind::Keysym, "F8"};
  const SwayKey a{Kind::KeysymToCode, "a"};
  const SwayKey one{Kind::Keycode, "10"};
  EXPECT_EQ(BindCommand(f8, false, "n-down"), "bindsym F8 nop n-down");
  EXPECT_EQ(BindCommand(f8, true, "n-up"), "bindsym --release F8 nop n-up");
  EXPECT_EQ(BindCommand(a, false, "n"), "bindsym --to-code a nop n");
  EXPECT_EQ(BindCommand(one, true, "n"), "bindcode --release 10 nop n");
  EXPECT_EQ(UnbindCommand(f8, false), "unbindsym F8");
  EXPECT_EQ(UnbindCommand(f8, true), "unbindsym --release F8");
  EXPECT_EQ(UnbindCommand(a, true), "unbindsym --release --to-code a");
  EXPECT_EQ(UnbindCommand(one, false), "unbindcode 10");
}

}  // namespace
}  // namespace snapwick::wayland
