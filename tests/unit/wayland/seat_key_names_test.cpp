// The keys over the program's window named from the keymaps a compositor
// sends: a PC keyboard's (compiled here from the installed XKB data and
// sent as text, as sway sends it), its layouts and Num Lock, and a virtual
// keyboard's own keymap, whose keys are known by what they type.

#include "platform/wayland/seat_key_names.h"

#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace snapwick::wayland {
namespace {

using linux::KeyDescription;

// evdev codes + 8, as every libinput keyboard has them.
constexpr std::uint32_t kEsc = 9, kA = 38, kQ = 24, kY = 29, kF8 = 74, kKeypad5 = 84;
// Num Lock is Mod2 in every PC keymap.
constexpr std::uint32_t kNumLock = 1u << 4;

// A PC keyboard's keymap as a compositor sends it: XKB's text.
std::string KeymapText(const char* layouts) {
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
  const xkb_rule_names names{"evdev", "pc105", layouts, "", ""};
  xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
  std::string text;
  if (keymap) {
    char* made = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    text = made;
    std::free(made);
    xkb_keymap_unref(keymap);
  }
  xkb_context_unref(context);
  return text;
}

// What a virtual keyboard such as wtype sends: only the keys it types,
// named K1..., from the first key code on.
const std::string kVirtualKeymap = R"keymap(xkb_keymap {
xkb_keycodes "(unnamed)" { minimum = 8; maximum = 255; <K1> = 9; <K2> = 10; };
xkb_types "(unnamed)" { include "complete" };
xkb_compatibility "(unnamed)" { include "complete" };
xkb_symbols "(unnamed)" { key <K1> {[ F9 ]}; key <K2> {[ a ]}; };
};
)keymap";

KeyDescription Key(int virtualKey, const std::string& name) { return {virtualKey, name}; }

TEST(SeatKeyNamesTest, PcKeyboard_SameCodesAndNamesAsTheX11Build) {
  SeatKeyNames names;
  ASSERT_TRUE(names.SetKeymap(KeymapText("us")));
  EXPECT_EQ(names.Describe(kF8, 0, XKB_KEY_F8), Key(0x77, "F8"));
  EXPECT_EQ(names.Describe(kA, 0, XKB_KEY_a), Key(0x41, "A"));
  EXPECT_EQ(names.Describe(kEsc, 0, XKB_KEY_Escape), Key(0x1B, "Esc"));
  // Without Qt's keysym the keymap alone decides.
  EXPECT_EQ(names.Describe(kF8, 0, 0), Key(0x77, "F8"));
}

TEST(SeatKeyNamesTest, NumLockFromTheModifiers_KeypadKeyFollowsIt) {
  SeatKeyNames names;
  ASSERT_TRUE(names.SetKeymap(KeymapText("us")));
  EXPECT_EQ(names.Describe(kKeypad5, kNumLock, XKB_KEY_KP_5), Key(0x65, "Num 5"));
  EXPECT_EQ(names.Describe(kKeypad5, 0, XKB_KEY_KP_Begin), Key(0x0C, "Num 5"));
}

TEST(SeatKeyNamesTest, ActiveLayout_NamesTheCharacter_CodeStaysTheFirstLayouts) {
  SeatKeyNames names;
  ASSERT_TRUE(names.SetKeymap(KeymapText("us,ru")));
  EXPECT_EQ(names.Describe(kA, 0, XKB_KEY_a), Key(0x41, "A"));
  names.SetLayout(1);
  EXPECT_EQ(names.Describe(kA, 0, XKB_KEY_Cyrillic_ef), Key(0x41, "Ф"));
  EXPECT_EQ(names.Describe(kQ, 0, XKB_KEY_Cyrillic_shorti), Key(0x51, "Й"));
  // A German first layout: the key of the US Y is Z, as on Windows.
  SeatKeyNames german;
  ASSERT_TRUE(german.SetKeymap(KeymapText("de")));
  EXPECT_EQ(german.Describe(kY, 0, XKB_KEY_z), Key(0x5A, "Z"));
}

TEST(SeatKeyNamesTest, VirtualKeyboardsOwnKeymap_KeysKnownByWhatTheyType) {
  SeatKeyNames names;
  ASSERT_TRUE(names.SetKeymap(kVirtualKeymap));
  EXPECT_EQ(names.Describe(9, 0, XKB_KEY_F9), Key(0x78, "F9"));
  EXPECT_EQ(names.Describe(10, 0, XKB_KEY_a), Key(0x41, "A"));
  EXPECT_EQ(names.Describe(10, 0, XKB_KEY_A), Key(0x41, "A"));
  // The keypad's keysyms say whether Num Lock was on.
  EXPECT_EQ(names.Describe(9, 0, XKB_KEY_KP_5), Key(0x65, "Num 5"));
  EXPECT_EQ(names.Describe(9, 0, XKB_KEY_KP_Begin), Key(0x0C, "Num 5"));
  // '<' has a key of its own on a PC keyboard before it is the comma
  // key's shifted level.
  EXPECT_EQ(names.Describe(9, 0, XKB_KEY_less)->virtualKey, 0xE2);
  // What no US key types, and a key of unknown keysym, name nothing.
  EXPECT_FALSE(names.Describe(9, 0, XKB_KEY_Cyrillic_ef));
  EXPECT_FALSE(names.Describe(9, 0, 0));
}

// Qt hears of a new keyboard before this keyboard does: the keysym Qt read
// shows that the keymap known here is not the one the key was typed with.
TEST(SeatKeyNamesTest, KeymapNotYetTheKeys_KnownByWhatItTyped) {
  SeatKeyNames names;
  ASSERT_TRUE(names.SetKeymap(KeymapText("us")));
  // Key code 9 is Escape here, F9 on the virtual keyboard that typed it.
  EXPECT_EQ(names.Describe(kEsc, 0, XKB_KEY_F9), Key(0x78, "F9"));
  // With no keymap at all.
  SeatKeyNames none;
  EXPECT_EQ(none.Describe(kF8, 0, XKB_KEY_F8), Key(0x77, "F8"));
  EXPECT_FALSE(none.Describe(kF8, 0, 0));
}

TEST(SeatKeyNamesTest, PcKeymap_TheLastPcKeyboardsNotAVirtualOnes) {
  SeatKeyNames names;
  EXPECT_EQ(names.PcKeymap(), nullptr);
  ASSERT_TRUE(names.SetKeymap(KeymapText("ru,us")));
  ASSERT_NE(names.PcKeymap(), nullptr);
  EXPECT_STREQ(xkb_keymap_layout_get_name(names.PcKeymap(), 0), "Russian");
  ASSERT_TRUE(names.SetKeymap(kVirtualKeymap));
  ASSERT_NE(names.PcKeymap(), nullptr);
  EXPECT_STREQ(xkb_keymap_layout_get_name(names.PcKeymap(), 0), "Russian");
  // But the virtual keyboard's keymap names its keys now.
  EXPECT_EQ(names.Describe(10, 0, XKB_KEY_a), Key(0x41, "A"));
}

TEST(SeatKeyNamesTest, KeymapThatDoesNotCompile_TheOneBeforeKept) {
  SeatKeyNames names;
  ASSERT_TRUE(names.SetKeymap(KeymapText("us")));
  EXPECT_FALSE(names.SetKeymap("xkb_keymap { nonsense"));
  EXPECT_FALSE(names.SetKeymap(""));
  EXPECT_EQ(names.Describe(kF8, 0, XKB_KEY_F8), Key(0x77, "F8"));
  // The compositor's text ends with a NUL, which is no part of it.
  EXPECT_TRUE(names.SetKeymap(kVirtualKeymap + std::string(1, '\0')));
}

}  // namespace
}  // namespace snapwick::wayland
