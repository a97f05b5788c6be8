#include "platform/wayland/sway_keys.h"

#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon.h>

#include <array>
#include <cstdint>
#include <string_view>

namespace snapwick::wayland {
namespace {

// A code whose keys have the same keysyms in every layout; up to three
// keysyms, for codes that stand for several keys.
struct KeysymKey {
  std::uint8_t virtualKey;
  std::array<const char*, 3> keysyms;
};

// With Num Lock off the keypad's digits type navigation keysyms (KP_Home),
// which the X11 build counts as the navigation key's code; with it on they
// type KP_7 and count as VK_NUMPAD7. Sway matches the keysym the key types
// at the time, so binding both keysyms follows Num Lock as the X11 build
// does. AltGr (ISO_Level3_Shift, the right Alt of most European layouts)
// counts as Alt there too.
// clang-format off
constexpr KeysymKey kKeysymKeys[] = {
    {0x08, {"BackSpace"}},
    {0x09, {"Tab"}},
    {0x0C, {"KP_Begin"}},
    {0x0D, {"Return", "KP_Enter"}},
    {0x10, {"Shift_L", "Shift_R"}},
    {0x11, {"Control_L", "Control_R"}},
    {0x12, {"Alt_L", "Alt_R", "ISO_Level3_Shift"}},
    {0x13, {"Pause"}},
    {0x14, {"Caps_Lock"}},
    {0x1B, {"Escape"}},
    {0x20, {"space"}},
    {0x21, {"Prior", "KP_Prior"}},
    {0x22, {"Next", "KP_Next"}},
    {0x23, {"End", "KP_End"}},
    {0x24, {"Home", "KP_Home"}},
    {0x25, {"Left", "KP_Left"}},
    {0x26, {"Up", "KP_Up"}},
    {0x27, {"Right", "KP_Right"}},
    {0x28, {"Down", "KP_Down"}},
    {0x2C, {"Print"}},
    {0x2D, {"Insert", "KP_Insert"}},
    {0x2E, {"Delete", "KP_Delete"}},
    {0x5B, {"Super_L"}},
    {0x5C, {"Super_R"}},
    {0x5D, {"Menu"}},
    {0x60, {"KP_0"}}, {0x61, {"KP_1"}}, {0x62, {"KP_2"}}, {0x63, {"KP_3"}}, {0x64, {"KP_4"}},
    {0x65, {"KP_5"}}, {0x66, {"KP_6"}}, {0x67, {"KP_7"}}, {0x68, {"KP_8"}}, {0x69, {"KP_9"}},
    {0x6A, {"KP_Multiply"}},
    {0x6B, {"KP_Add"}},
    {0x6D, {"KP_Subtract"}},
    // The Russian layout's keypad types a comma there.
    {0x6E, {"KP_Decimal", "KP_Separator"}},
    {0x6F, {"KP_Divide"}},
    {0x70, {"F1"}},  {0x71, {"F2"}},  {0x72, {"F3"}},  {0x73, {"F4"}},  {0x74, {"F5"}},
    {0x75, {"F6"}},  {0x76, {"F7"}},  {0x77, {"F8"}},  {0x78, {"F9"}},  {0x79, {"F10"}},
    {0x7A, {"F11"}}, {0x7B, {"F12"}},
    {0x90, {"Num_Lock"}},
    {0x91, {"Scroll_Lock"}},
};

// The keys of a US keyboard, as evdev codes: the digit row from 0, the
// letters from A.
constexpr int kDigitKeys[10] = {KEY_0, KEY_1, KEY_2, KEY_3, KEY_4,
                                KEY_5, KEY_6, KEY_7, KEY_8, KEY_9};
constexpr int kLetterKeys[26] = {
    KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I, KEY_J, KEY_K, KEY_L, KEY_M,
    KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R, KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z};
// clang-format on

// XKB's keymaps give the keys F13-F24 keysyms of launchers (XF86Tools ...),
// and the keysyms F13-F24 to no key; the X11 build watches those keys.
constexpr int kF13 = 0x7C;
constexpr int kF24 = 0x87;

// Libinput's key codes are evdev's plus 8, the X convention.
constexpr int kEvdevOffset = 8;

SwayKey ByCode(int evdevCode) {
  return {SwayKey::Kind::Keycode, std::to_string(evdevCode + kEvdevOffset)};
}

// The keysym with which the first layout types the letter on a key with
// no modifier (either case counts, as in the X11 build); NoSymbol when no
// key does.
xkb_keysym_t FirstLayoutLetter(xkb_keymap* keymap, char letter) {
  const xkb_keysym_t lower = XKB_KEY_a + static_cast<xkb_keysym_t>(letter - 'A');
  const xkb_keysym_t upper = XKB_KEY_A + static_cast<xkb_keysym_t>(letter - 'A');
  const xkb_keycode_t last = xkb_keymap_max_keycode(keymap);
  for (xkb_keycode_t k = xkb_keymap_min_keycode(keymap); k <= last; ++k) {
    const xkb_keysym_t* syms = nullptr;
    if (xkb_keymap_key_get_syms_by_level(keymap, k, 0, 0, &syms) != 1) continue;
    if (syms[0] == lower || syms[0] == upper) return syms[0];
  }
  return XKB_KEY_NoSymbol;
}

SwayKey Letter(char letter, xkb_keymap* firstLayout) {
  const std::string lower(1, static_cast<char>(letter - 'A' + 'a'));
  if (!firstLayout) return {SwayKey::Kind::KeysymToCode, lower};
  const xkb_keysym_t sym = FirstLayoutLetter(firstLayout, letter);
  if (sym == XKB_KEY_NoSymbol) return ByCode(kLetterKeys[letter - 'A']);
  char name[64];
  xkb_keysym_get_name(sym, name, sizeof name);
  return {SwayKey::Kind::KeysymToCode, name};
}

}  // namespace

std::vector<SwayKey> SwayKeysOf(int virtualKey, xkb_keymap* firstLayout) {
  if (virtualKey >= '0' && virtualKey <= '9') return {ByCode(kDigitKeys[virtualKey - '0'])};
  if (virtualKey >= kF13 && virtualKey <= kF24) return {ByCode(KEY_F13 + (virtualKey - kF13))};
  if (virtualKey >= 'A' && virtualKey <= 'Z') {
    return {Letter(static_cast<char>(virtualKey), firstLayout)};
  }
  for (const KeysymKey& entry : kKeysymKeys) {
    if (entry.virtualKey != virtualKey) continue;
    std::vector<SwayKey> keys;
    for (const char* sym : entry.keysyms) {
      if (sym) keys.push_back({SwayKey::Kind::Keysym, sym});
    }
    return keys;
  }
  return {};
}

std::string BindCommand(const SwayKey& key, bool onRelease, std::string_view name) {
  std::string command = key.kind == SwayKey::Kind::Keycode ? "bindcode" : "bindsym";
  // The press binding runs again at each of the keyboard's repeats: while
  // they come the key is held, which is all there is to go by when sway
  // skips the release binding (another key went down during the hold).
  if (onRelease) command += " --release";
  if (key.kind == SwayKey::Kind::KeysymToCode) command += " --to-code";
  command += ' ';
  command += key.key;
  command += " nop ";
  command += name;
  return command;
}

std::string UnbindCommand(const SwayKey& key, bool onRelease) {
  // Sway finds the binding by its key and its --release flag; --to-code
  // makes it look among the key-code bindings, where it put ours.
  std::string command = key.kind == SwayKey::Kind::Keycode ? "unbindcode" : "unbindsym";
  if (onRelease) command += " --release";
  if (key.kind == SwayKey::Kind::KeysymToCode) command += " --to-code";
  command += ' ';
  command += key.key;
  return command;
}

}  // namespace snapwick::wayland
