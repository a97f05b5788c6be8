// Keys against keymaps compiled from the installed XKB data, as an X server
// compiles them. Keys are named here by their evdev codes (the X keycode
// less 8), independently of the XKB names the code looks them up by.

#include "platform/linux/keymap.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace snapwick::linux {
namespace {

struct KeymapUnref {
  void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
using KeymapPtr = std::unique_ptr<xkb_keymap, KeymapUnref>;

// XKB_DEFAULT_* in the environment must not change what is compiled.
KeymapPtr Compile(const std::string& layout, const std::string& variant = "",
                  const char* rules = "evdev") {
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
  const xkb_rule_names names{rules, "pc105", layout.c_str(), variant.c_str(), ""};
  KeymapPtr keymap(xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
  xkb_context_unref(context);
  return keymap;
}

// Compiling takes milliseconds: once per layout for the whole run.
struct Layout {
  KeymapPtr keymap;
  KeyMap keys;
};
const Layout& Get(const std::string& layout, const std::string& variant = "") {
  static std::map<std::string, std::unique_ptr<Layout>> cache;
  auto& entry = cache[layout + "(" + variant + ")"];
  if (!entry) {
    KeymapPtr keymap = Compile(layout, variant);
    if (!keymap) throw std::runtime_error("xkb-data has no layout " + layout);
    KeyMap keys(keymap.get());
    entry = std::make_unique<Layout>(Layout{std::move(keymap), std::move(keys)});
  }
  return *entry;
}

constexpr Keycode X(int evdev) { return static_cast<Keycode>(evdev + 8); }

std::vector<Keycode> Keycodes(const KeyMap& keys, int virtualKey, bool numLockOn) {
  const auto span = keys.KeycodesOf(virtualKey, numLockOn);
  return {span.begin(), span.end()};
}

struct Case {
  const char* layout;
  int evdev;
  bool numLockOn;
  int virtualKey;
  const char* name;
};

void ExpectDescribed(const KeyMap& keys, std::uint32_t layout, const Case& c) {
  const auto got = keys.Describe(X(c.evdev), layout, c.numLockOn);
  ASSERT_TRUE(got) << c.layout << " evdev " << c.evdev;
  EXPECT_EQ(got->virtualKey, c.virtualKey) << c.layout << " evdev " << c.evdev;
  EXPECT_EQ(got->name, c.name) << c.layout << " evdev " << c.evdev;
}

TEST(KeyMapTest, NamedKeys_AnyLayout_CodeAndNameAsWindows) {
  // clang-format off
  const Case cases[] = {
      // seen in a prototype window
      {"us", KEY_F8, true, 0x77, "F8"}, {"us", KEY_A, true, 0x41, "A"},
      {"us", KEY_KP5, true, 0x65, "Num 5"}, {"us", KEY_KP5, false, 0x0C, "Num 5"},
      {"us", KEY_KPENTER, true, 0x0D, "Num Enter"}, {"us", KEY_SYSRQ, true, 0x2C, "Prnt Scrn"},
      {"us", KEY_LEFTMETA, true, 0x5B, "Left Windows"}, {"us", KEY_PAUSE, true, 0x13, "Pause"},
      {"us", KEY_COMPOSE, true, 0x5D, "Application"}, {"us", KEY_NUMLOCK, true, 0x90, "Num Lock"},
      // generic modifier codes, names that tell left from right
      {"us", KEY_LEFTSHIFT, true, 0x10, "Shift"}, {"us", KEY_RIGHTSHIFT, true, 0x10, "Right Shift"},
      {"us", KEY_LEFTCTRL, true, 0x11, "Ctrl"}, {"us", KEY_RIGHTCTRL, true, 0x11, "Right Ctrl"},
      {"us", KEY_LEFTALT, true, 0x12, "Alt"}, {"de", KEY_RIGHTALT, true, 0x12, "Right Alt"},
      {"us", KEY_RIGHTMETA, true, 0x5C, "Right Windows"}, {"us", KEY_ESC, true, 0x1B, "Esc"},
      {"us", KEY_BACKSPACE, true, 0x08, "Backspace"}, {"us", KEY_TAB, true, 0x09, "Tab"},
      {"us", KEY_ENTER, true, 0x0D, "Enter"}, {"us", KEY_CAPSLOCK, true, 0x14, "Caps Lock"},
      {"us", KEY_SCROLLLOCK, true, 0x91, "Scroll Lock"}, {"us", KEY_F10, true, 0x79, "F10"},
      {"us", KEY_F11, true, 0x7A, "F11"}, {"us", KEY_F12, true, 0x7B, "F12"},
      {"us", KEY_KPASTERISK, false, 0x6A, "Num *"}, {"us", KEY_KPMINUS, false, 0x6D, "Num -"},
      {"us", KEY_KPPLUS, false, 0x6B, "Num +"}, {"us", KEY_KPSLASH, false, 0x6F, "Num /"},
      {"us", KEY_INSERT, true, 0x2D, "Insert"}, {"us", KEY_DELETE, true, 0x2E, "Delete"},
      {"us", KEY_HOME, true, 0x24, "Home"}, {"us", KEY_END, true, 0x23, "End"},
      {"us", KEY_PAGEUP, true, 0x21, "Page Up"}, {"us", KEY_PAGEDOWN, true, 0x22, "Page Down"},
      {"us", KEY_LEFT, true, 0x25, "Left"}, {"us", KEY_UP, true, 0x26, "Up"},
      {"us", KEY_RIGHT, true, 0x27, "Right"}, {"us", KEY_DOWN, true, 0x28, "Down"},
      // English under any layout: Windows names these by scan code
      {"ru", KEY_SPACE, true, 0x20, "Space"}, {"ru", KEY_KP7, true, 0x67, "Num 7"},
  };
  // clang-format on
  for (const Case& c : cases) ExpectDescribed(Get(c.layout).keys, 0, c);
}

TEST(KeyMapTest, TypingKeys_LayoutCharacter_UpperCasedAlone) {
  // clang-format off
  const Case cases[] = {
      {"us", KEY_1, true, '1', "1"}, {"us", KEY_SLASH, true, 0xBF, "/"},
      {"us", KEY_GRAVE, true, 0xC0, "`"},
      {"de", KEY_MINUS, true, 0xBD, "ß"},  // not "SS", not "ẞ"
      {"de", KEY_SEMICOLON, true, 0xBA, "Ö"}, {"de", KEY_LEFTBRACE, true, 0xDB, "Ü"},
      {"de", KEY_GRAVE, true, 0xC0, "^"}, {"de", KEY_EQUAL, true, 0xBB, "´"},  // dead keys
      {"de", KEY_102ND, true, 0xE2, "<"},
      {"fr", KEY_1, true, '1', "&"}, {"fr", KEY_2, true, '2', "É"},
      {"fr", KEY_APOSTROPHE, true, 0xDE, "Ù"}, {"fr", KEY_LEFTBRACE, true, 0xDB, "^"},
      {"ru", KEY_A, true, 'A', "Ф"}, {"ru", KEY_Q, true, 'Q', "Й"},
      {"ru", KEY_GRAVE, true, 0xC0, "Ё"}, {"ru", KEY_DOT, true, 0xBE, "Ю"},
      {"ru", KEY_SLASH, true, 0xBF, "."},
      // letters take the code of the letter the first layout types
      {"de", KEY_Y, true, 'Z', "Z"}, {"de", KEY_Z, true, 'Y', "Y"},
      {"fr", KEY_Q, true, 'A', "A"}, {"fr", KEY_A, true, 'Q', "Q"},
      {"fr", KEY_W, true, 'Z', "Z"}, {"fr", KEY_Z, true, 'W', "W"},
      {"fr", KEY_SEMICOLON, true, 'M', "M"},
      // AZERTY's comma is the US M key: it takes the code the US ';' key
      // left, so that 'M' is one key only
      {"fr", KEY_M, true, 0xBA, ","},
  };
  // clang-format on
  for (const Case& c : cases) ExpectDescribed(Get(c.layout).keys, 0, c);
}

TEST(KeyMapTest, FunctionKeys_F13ToF24_NoNameButPolled) {
  const KeyMap& keys = Get("us").keys;
  for (int i = 0; i < 12; ++i) {
    EXPECT_FALSE(keys.Describe(X(KEY_F13 + i), 0, true)) << "F" << 13 + i;
    EXPECT_EQ(Keycodes(keys, 0x7C + i, true), std::vector<Keycode>{X(KEY_F13 + i)});
  }
}

TEST(KeyMapTest, KeypadDigits_NumLockOff_NavigationCodeKeypadName) {
  const struct {
    int keypad, navigation, digit;
  } cases[] = {{KEY_KP0, KEY_INSERT, 0},   {KEY_KP1, KEY_END, 1},  {KEY_KP2, KEY_DOWN, 2},
               {KEY_KP3, KEY_PAGEDOWN, 3}, {KEY_KP4, KEY_LEFT, 4}, {KEY_KP6, KEY_RIGHT, 6},
               {KEY_KP7, KEY_HOME, 7},     {KEY_KP8, KEY_UP, 8},   {KEY_KP9, KEY_PAGEUP, 9}};
  const KeyMap& keys = Get("de").keys;
  for (const auto& c : cases) {
    const std::string name = "Num " + std::to_string(c.digit);
    ExpectDescribed(keys, 0, {"de", c.keypad, true, 0x60 + c.digit, name.c_str()});
    const int navigation = keys.Describe(X(c.navigation), 0, true)->virtualKey;
    ExpectDescribed(keys, 0, {"de", c.keypad, false, navigation, name.c_str()});
  }
  ExpectDescribed(keys, 0, {"de", KEY_KPDOT, true, 0x6E, "Num Del"});
  ExpectDescribed(keys, 0, {"de", KEY_KPDOT, false, 0x2E, "Num Del"});
}

TEST(KeyMapTest, Layouts_SecondActive_CodeFromFirstNameFromActive) {
  const KeyMap& usRu = Get("us,ru").keys;
  ExpectDescribed(usRu, 0, {"us,ru", KEY_A, true, 'A', "A"});
  ExpectDescribed(usRu, 1, {"us,ru", KEY_A, true, 'A', "Ф"});
  ExpectDescribed(usRu, 2, {"us,ru", KEY_A, true, 'A', "A"});  // the server wraps groups
  ExpectDescribed(usRu, 1, {"us,ru", KEY_F8, true, 0x77, "F8"});
  ExpectDescribed(Get("fr,ru").keys, 1, {"fr,ru", KEY_A, true, 'Q', "Ф"});
}

TEST(KeyMapTest, Modifiers_AltGrLayout_BothKeysOfEachGenericCode) {
  const KeyMap& keys = Get("de").keys;  // the right Alt is AltGr here
  EXPECT_EQ(Keycodes(keys, 0x10, true), (std::vector{X(KEY_LEFTSHIFT), X(KEY_RIGHTSHIFT)}));
  EXPECT_EQ(Keycodes(keys, 0x11, true), (std::vector{X(KEY_LEFTCTRL), X(KEY_RIGHTCTRL)}));
  EXPECT_EQ(Keycodes(keys, 0x12, false), (std::vector{X(KEY_LEFTALT), X(KEY_RIGHTALT)}));
}

TEST(KeyMapTest, FollowsNumLock_KeypadAndNavigationOnly) {
  const KeyMap& keys = Get("us").keys;
  for (int code : {0x24, 0x2E, 0x0C, 0x67, 0x6E}) EXPECT_TRUE(keys.FollowsNumLock(code)) << code;
  for (int code : {0x77, 0x10, 0x41, 0x6A, 0x0D, -1, 256})
    EXPECT_FALSE(keys.FollowsNumLock(code)) << code;
}

TEST(KeyMapTest, OutOfRange_NothingAndNoKeys) {
  const KeyMap& keys = Get("us").keys;
  for (Keycode keycode : {0u, 7u, 256u, 100000u}) EXPECT_FALSE(keys.Describe(keycode, 0, true));
  for (int code : {-1, 0, 256, 1 << 20}) EXPECT_TRUE(keys.KeycodesOf(code, true).empty());
}

TEST(KeyMapTest, Keymap_ReleasedAfterBuild_TablesStillHold) {
  const KeyMap keys(Compile("de").get());
  ExpectDescribed(keys, 0, {"de", KEY_Y, true, 'Z', "Z"});
  ExpectDescribed(keys, 0, {"de", KEY_MINUS, true, 0xBD, "ß"});
}

TEST(KeyMapTest, OtherKeycodeNumbers_KeysFoundByPlace) {
  // The "base" rules number keys the XFree86 way: Left Windows is 115, not
  // evdev's 133. The physical key, not its number, decides.
  KeymapPtr keymap = Compile("us", "", "base");
  ASSERT_TRUE(keymap);
  const KeyMap keys(keymap.get());
  const auto lwin = xkb_keymap_key_by_name(keymap.get(), "LWIN");
  ASSERT_NE(lwin, X(KEY_LEFTMETA));
  EXPECT_EQ(keys.Describe(lwin, 0, true), (KeyDescription{0x5B, "Left Windows"}));
  EXPECT_EQ(keys.Describe(xkb_keymap_key_by_name(keymap.get(), "PRSC"), 0, true),
            (KeyDescription{0x2C, "Prnt Scrn"}));
}

// Every tested layout, with a second group, and Dvorak, which moves most
// letters.
const std::pair<const char*, const char*> kLayouts[] = {
    {"us", ""}, {"de", ""}, {"fr", ""}, {"ru", ""}, {"us,ru", ""}, {"us", "dvorak"}};

TEST(KeyMapTest, AllLayouts_KeycodesOf_ExactInverseOfDescribe) {
  for (const auto& [layout, variant] : kLayouts) {
    const Layout& l = Get(layout, variant);
    const auto groups = xkb_keymap_num_layouts(l.keymap.get());
    for (bool numLockOn : {false, true}) {
      SCOPED_TRACE(std::string(layout) + "(" + variant + ") Num Lock " +
                   (numLockOn ? "on" : "off"));
      int described = 0;
      for (Keycode keycode = 0; keycode < 300; ++keycode) {
        for (std::uint32_t group = 0; group < groups; ++group) {
          const auto d = l.keys.Describe(keycode, group, numLockOn);
          if (!d) continue;
          ++described;
          const auto back = Keycodes(l.keys, d->virtualKey, numLockOn);
          EXPECT_EQ(std::count(back.begin(), back.end(), keycode), 1) << keycode;
        }
      }
      EXPECT_GE(described, 95 * static_cast<int>(groups));
      for (int code = 0; code < 256; ++code) {
        for (Keycode keycode : l.keys.KeycodesOf(code, numLockOn)) {
          for (std::uint32_t group = 0; group < groups; ++group) {
            const auto d = l.keys.Describe(keycode, group, numLockOn);
            if (d) {
              EXPECT_EQ(d->virtualKey, code) << keycode;
            }
          }
        }
      }
    }
  }
}

TEST(KeyMapTest, AllLayouts_EachCode_OneKeyUnlessWindowsSharesIt) {
  // Windows gives both Enter keys VK_RETURN and each pair of modifiers one
  // generic code
  const std::vector<int> shared{0x0D, 0x10, 0x11, 0x12};
  // with Num Lock off, the keypad doubles the navigation keys
  const std::vector<int> navigation{0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x2D, 0x2E};
  auto in = [](const std::vector<int>& v, int code) {
    return std::count(v.begin(), v.end(), code) > 0;
  };
  for (const auto& [layout, variant] : kLayouts) {
    const Layout& l = Get(layout, variant);
    SCOPED_TRACE(std::string(layout) + "(" + variant + ")");
    for (int code = 0; code < 256; ++code) {
      if (in(shared, code)) continue;
      EXPECT_LE(l.keys.KeycodesOf(code, true).size(), 1u) << code;
      const std::size_t numLockOff = l.keys.KeycodesOf(code, false).size();
      if (in(navigation, code)) {
        EXPECT_EQ(numLockOff, 2u) << code;
      } else {
        EXPECT_LE(numLockOff, 1u) << code;
      }
    }
    // Each Latin letter of the first layout is the code of exactly the key
    // that types it there.
    for (Keycode keycode = 8; keycode < 256; ++keycode) {
      const xkb_keysym_t* syms = nullptr;
      if (xkb_keymap_key_get_syms_by_level(l.keymap.get(), keycode, 0, 0, &syms) != 1) continue;
      if (syms[0] < XKB_KEY_a || syms[0] > XKB_KEY_z) continue;
      const int letter = 'A' + static_cast<int>(syms[0] - XKB_KEY_a);
      EXPECT_EQ(Keycodes(l.keys, letter, true), std::vector<Keycode>{keycode}) << char(letter);
    }
  }
}

}  // namespace
}  // namespace snapwick::linux
