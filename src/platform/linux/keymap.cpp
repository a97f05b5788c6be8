#include "platform/linux/keymap.h"

#include <locale.h>
#include <wctype.h>
#include <xkbcommon/xkbcommon.h>

#include <utility>

namespace snapwick::linux {
namespace {

enum class Naming : std::uint8_t {
  // Windows' US layout names the key's scan code; an empty name means that
  // it names none, and GetKeyNameText gives nothing for the key.
  ScanCode,
  // Windows names the key by the character it types in the active layout.
  Character,
};

// A key of a PC keyboard, found by its XKB name (the physical place, the
// same in every keymap; the evdev keycodes give each evdev code one), with
// the virtual-key codes the US layout gives its scan code.
struct PcKey {
  const char* xkbName;
  std::uint8_t virtualKeyNumLockOn;
  std::uint8_t virtualKeyNumLockOff;
  Naming naming;
  const char* windowsName;
};

constexpr PcKey Named(const char* xkbName, std::uint8_t virtualKey, const char* windowsName) {
  return {xkbName, virtualKey, virtualKey, Naming::ScanCode, windowsName};
}

constexpr PcKey Typing(const char* xkbName, std::uint8_t virtualKey) {
  return {xkbName, virtualKey, virtualKey, Naming::Character, ""};
}

// The keypad's digits and its decimal key change code with Num Lock, never
// name: Windows names the scan code.
constexpr PcKey Keypad(const char* xkbName, std::uint8_t numLockOn, std::uint8_t numLockOff,
                       const char* windowsName) {
  return {xkbName, numLockOn, numLockOff, Naming::ScanCode, windowsName};
}

// Each row: the set-1 scan code ("E0" marks the extended ones, as the
// keystroke flags' bit 24 does), the virtual key, and the name Windows'
// US layout gives that scan code. Keys that Windows maps to no name
// (media, launch and Japanese keys) are left out: the program ignores them
// anyway.
// clang-format off
constexpr PcKey kPcKeys[] = {
    Named("ESC", 0x1B, "Esc"),              // 01 VK_ESCAPE
    Typing("AE01", '1'),                    // 02
    Typing("AE02", '2'),
    Typing("AE03", '3'),
    Typing("AE04", '4'),
    Typing("AE05", '5'),
    Typing("AE06", '6'),
    Typing("AE07", '7'),
    Typing("AE08", '8'),
    Typing("AE09", '9'),
    Typing("AE10", '0'),                    // 0B
    Typing("AE11", 0xBD),                   // 0C VK_OEM_MINUS
    Typing("AE12", 0xBB),                   // 0D VK_OEM_PLUS
    Named("BKSP", 0x08, "Backspace"),       // 0E VK_BACK
    Named("TAB", 0x09, "Tab"),              // 0F VK_TAB
    Typing("AD01", 'Q'),                    // 10
    Typing("AD02", 'W'),
    Typing("AD03", 'E'),
    Typing("AD04", 'R'),
    Typing("AD05", 'T'),
    Typing("AD06", 'Y'),
    Typing("AD07", 'U'),
    Typing("AD08", 'I'),
    Typing("AD09", 'O'),
    Typing("AD10", 'P'),                    // 19
    Typing("AD11", 0xDB),                   // 1A VK_OEM_4
    Typing("AD12", 0xDD),                   // 1B VK_OEM_6
    Named("RTRN", 0x0D, "Enter"),           // 1C VK_RETURN
    Named("LCTL", 0x11, "Ctrl"),            // 1D VK_CONTROL
    Typing("AC01", 'A'),                    // 1E
    Typing("AC02", 'S'),
    Typing("AC03", 'D'),
    Typing("AC04", 'F'),
    Typing("AC05", 'G'),
    Typing("AC06", 'H'),
    Typing("AC07", 'J'),
    Typing("AC08", 'K'),
    Typing("AC09", 'L'),                    // 26
    Typing("AC10", 0xBA),                   // 27 VK_OEM_1
    Typing("AC11", 0xDE),                   // 28 VK_OEM_7
    Typing("TLDE", 0xC0),                   // 29 VK_OEM_3
    Named("LFSH", 0x10, "Shift"),           // 2A VK_SHIFT
    Typing("BKSL", 0xDC),                   // 2B VK_OEM_5
    Typing("AB01", 'Z'),                    // 2C
    Typing("AB02", 'X'),
    Typing("AB03", 'C'),
    Typing("AB04", 'V'),
    Typing("AB05", 'B'),
    Typing("AB06", 'N'),
    Typing("AB07", 'M'),                    // 32
    Typing("AB08", 0xBC),                   // 33 VK_OEM_COMMA
    Typing("AB09", 0xBE),                   // 34 VK_OEM_PERIOD
    Typing("AB10", 0xBF),                   // 35 VK_OEM_2
    Named("RTSH", 0x10, "Right Shift"),     // 36 VK_SHIFT
    Named("KPMU", 0x6A, "Num *"),           // 37 VK_MULTIPLY
    Named("LALT", 0x12, "Alt"),             // 38 VK_MENU
    Named("SPCE", 0x20, "Space"),           // 39 VK_SPACE
    Named("CAPS", 0x14, "Caps Lock"),       // 3A VK_CAPITAL
    Named("FK01", 0x70, "F1"),              // 3B VK_F1
    Named("FK02", 0x71, "F2"),
    Named("FK03", 0x72, "F3"),
    Named("FK04", 0x73, "F4"),
    Named("FK05", 0x74, "F5"),
    Named("FK06", 0x75, "F6"),
    Named("FK07", 0x76, "F7"),
    Named("FK08", 0x77, "F8"),
    Named("FK09", 0x78, "F9"),
    Named("FK10", 0x79, "F10"),             // 44 VK_F10
    // Windows reports Num Lock as E0 45 and Pause (E1 1D 45) as 45.
    Named("NMLK", 0x90, "Num Lock"),        // E0 45 VK_NUMLOCK
    Named("PAUS", 0x13, "Pause"),           // 45 VK_PAUSE
    Named("SCLK", 0x91, "Scroll Lock"),     // 46 VK_SCROLL
    Keypad("KP7", 0x67, 0x24, "Num 7"),     // 47 VK_NUMPAD7, VK_HOME
    Keypad("KP8", 0x68, 0x26, "Num 8"),     // 48 VK_NUMPAD8, VK_UP
    Keypad("KP9", 0x69, 0x21, "Num 9"),     // 49 VK_NUMPAD9, VK_PRIOR
    Named("KPSU", 0x6D, "Num -"),           // 4A VK_SUBTRACT
    Keypad("KP4", 0x64, 0x25, "Num 4"),     // 4B VK_NUMPAD4, VK_LEFT
    Keypad("KP5", 0x65, 0x0C, "Num 5"),     // 4C VK_NUMPAD5, VK_CLEAR
    Keypad("KP6", 0x66, 0x27, "Num 6"),     // 4D VK_NUMPAD6, VK_RIGHT
    Named("KPAD", 0x6B, "Num +"),           // 4E VK_ADD
    Keypad("KP1", 0x61, 0x23, "Num 1"),     // 4F VK_NUMPAD1, VK_END
    Keypad("KP2", 0x62, 0x28, "Num 2"),     // 50 VK_NUMPAD2, VK_DOWN
    Keypad("KP3", 0x63, 0x22, "Num 3"),     // 51 VK_NUMPAD3, VK_NEXT
    Keypad("KP0", 0x60, 0x2D, "Num 0"),     // 52 VK_NUMPAD0, VK_INSERT
    Keypad("KPDL", 0x6E, 0x2E, "Num Del"),  // 53 VK_DECIMAL, VK_DELETE
    Typing("LSGT", 0xE2),                   // 56 VK_OEM_102
    Named("FK11", 0x7A, "F11"),             // 57 VK_F11
    Named("FK12", 0x7B, "F12"),             // 58 VK_F12
    Typing("AB11", 0xC1),                   // 73 VK_ABNT_C1, Brazil's /? key
    // The US layout lists "F13".."F24" under scan codes 7C-87, not under
    // the ones these keys send, so Windows names them nothing.
    Named("FK13", 0x7C, ""),                // 64 VK_F13
    Named("FK14", 0x7D, ""),                // 65
    Named("FK15", 0x7E, ""),                // 66
    Named("FK16", 0x7F, ""),                // 67
    Named("FK17", 0x80, ""),                // 68
    Named("FK18", 0x81, ""),                // 69
    Named("FK19", 0x82, ""),                // 6A
    Named("FK20", 0x83, ""),                // 6B
    Named("FK21", 0x84, ""),                // 6C
    Named("FK22", 0x85, ""),                // 6D
    Named("FK23", 0x86, ""),                // 6E
    Named("FK24", 0x87, ""),                // 76 VK_F24
    Named("KPEN", 0x0D, "Num Enter"),       // E0 1C VK_RETURN
    Named("RCTL", 0x11, "Right Ctrl"),      // E0 1D VK_CONTROL
    Named("KPDV", 0x6F, "Num /"),           // E0 35 VK_DIVIDE
    Named("PRSC", 0x2C, "Prnt Scrn"),       // E0 37 VK_SNAPSHOT
    Named("RALT", 0x12, "Right Alt"),       // E0 38 VK_MENU, AltGr too
    Named("HOME", 0x24, "Home"),            // E0 47 VK_HOME
    Named("UP", 0x26, "Up"),                // E0 48 VK_UP
    Named("PGUP", 0x21, "Page Up"),         // E0 49 VK_PRIOR
    Named("LEFT", 0x25, "Left"),            // E0 4B VK_LEFT
    Named("RGHT", 0x27, "Right"),           // E0 4D VK_RIGHT
    Named("END", 0x23, "End"),              // E0 4F VK_END
    Named("DOWN", 0x28, "Down"),            // E0 50 VK_DOWN
    Named("PGDN", 0x22, "Page Down"),       // E0 51 VK_NEXT
    Named("INS", 0x2D, "Insert"),           // E0 52 VK_INSERT
    Named("DELE", 0x2E, "Delete"),          // E0 53 VK_DELETE
    Named("LWIN", 0x5B, "Left Windows"),    // E0 5B VK_LWIN
    Named("RWIN", 0x5C, "Right Windows"),   // E0 5C VK_RWIN
    Named("COMP", 0x5D, "Application"),     // E0 5D VK_APPS
};
// clang-format on

bool IsLatinLetter(std::uint8_t virtualKey) { return virtualKey >= 'A' && virtualKey <= 'Z'; }

// The keysym a key gives with no modifier in the layout; none where it
// gives nothing or several.
xkb_keysym_t BaseKeysym(xkb_keymap* keymap, Keycode keycode, xkb_layout_index_t layout) {
  const xkb_keysym_t* syms = nullptr;
  if (xkb_keymap_key_get_syms_by_level(keymap, keycode, layout, 0, &syms) != 1) {
    return XKB_KEY_NoSymbol;
  }
  return syms[0];
}

// 'A'..'Z', or 0 for a key that types no Latin letter in the layout.
std::uint8_t LatinLetter(xkb_keymap* keymap, Keycode keycode, xkb_layout_index_t layout) {
  const xkb_keysym_t sym = BaseKeysym(keymap, keycode, layout);
  if (sym >= XKB_KEY_a && sym <= XKB_KEY_z) {
    return static_cast<std::uint8_t>('A' + (sym - XKB_KEY_a));
  }
  if (sym >= XKB_KEY_A && sym <= XKB_KEY_Z) return static_cast<std::uint8_t>(sym);
  return 0;
}

// Windows names a dead key by its spacing accent; XKB's dead keysyms stand
// for no character.
constexpr std::pair<xkb_keysym_t, char32_t> kDeadKeys[] = {
    {XKB_KEY_dead_grave, U'`'},          {XKB_KEY_dead_acute, U'\u00B4'},
    {XKB_KEY_dead_circumflex, U'^'},     {XKB_KEY_dead_tilde, U'~'},
    {XKB_KEY_dead_macron, U'\u00AF'},    {XKB_KEY_dead_breve, U'\u02D8'},
    {XKB_KEY_dead_abovedot, U'\u02D9'},  {XKB_KEY_dead_diaeresis, U'\u00A8'},
    {XKB_KEY_dead_abovering, U'\u02DA'}, {XKB_KEY_dead_doubleacute, U'\u02DD'},
    {XKB_KEY_dead_caron, U'\u02C7'},     {XKB_KEY_dead_cedilla, U'\u00B8'},
    {XKB_KEY_dead_ogonek, U'\u02DB'},
};

char32_t DeadKeyCharacter(xkb_keysym_t sym) {
  for (const auto& [dead, accent] : kDeadKeys) {
    if (dead == sym) return accent;
  }
  return 0;
}

// One character to upper case by itself, never to several ("ß" stays).
// glibc's C.UTF-8 has the whole Unicode case table and does not depend on
// the user's locale; xkbcommon's own keysym case mapping gets ß and ÿ wrong
// in the versions Debian ships.
char32_t ToUpper(char32_t c) {
  static const locale_t kUtf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
  const wint_t upper =
      kUtf8 ? towupper_l(static_cast<wint_t>(c), kUtf8) : towupper(static_cast<wint_t>(c));
  return static_cast<char32_t>(upper);
}

void AppendUtf8(std::string& out, char32_t c) {
  auto byte = [&out](char32_t b) { out.push_back(static_cast<char>(b)); };
  if (c < 0x80) {
    byte(c);
  } else if (c < 0x800) {
    byte(0xC0 | (c >> 6));
    byte(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    byte(0xE0 | (c >> 12));
    byte(0x80 | ((c >> 6) & 0x3F));
    byte(0x80 | (c & 0x3F));
  } else {
    byte(0xF0 | (c >> 18));
    byte(0x80 | ((c >> 12) & 0x3F));
    byte(0x80 | ((c >> 6) & 0x3F));
    byte(0x80 | (c & 0x3F));
  }
}

// What GetKeyNameText falls back to for a key its table does not name: the
// character the key types with no modifier, upper-cased.
std::string CharacterName(xkb_keymap* keymap, Keycode keycode, xkb_layout_index_t layout) {
  const xkb_keysym_t sym = BaseKeysym(keymap, keycode, layout);
  char32_t c = DeadKeyCharacter(sym);
  if (c == 0) c = xkb_keysym_to_utf32(sym);
  const bool control = c < 0x20 || (c >= 0x7F && c < 0xA0);
  if (control) return {};
  std::string name;
  AppendUtf8(name, ToUpper(c));
  return name;
}

}  // namespace

KeyMap::KeyMap(xkb_keymap* keymap) {
  std::array<const PcKey*, kKeycodes> pcKeys{};
  for (const PcKey& pc : kPcKeys) {
    const Keycode keycode = xkb_keymap_key_by_name(keymap, pc.xkbName);
    if (keycode == XKB_KEYCODE_INVALID || keycode >= kKeycodes) continue;
    pcKeys[keycode] = &pc;
    keys_[keycode] = {pc.virtualKeyNumLockOff, pc.virtualKeyNumLockOn};
  }

  // Letters follow the first layout. Should two keys type one letter, the
  // first in keycode order has it.
  std::array<Keycode, 26> letterKey{};
  std::array<bool, kVirtualKeys> taken{};
  auto typing = [&](Keycode k) { return pcKeys[k] && pcKeys[k]->naming == Naming::Character; };
  for (Keycode k = 0; k < kKeycodes; ++k) {
    if (!typing(k)) continue;
    const std::uint8_t letter = LatinLetter(keymap, k, 0);
    if (letter == 0) continue;
    if (letterKey[letter - 'A'] == 0) letterKey[letter - 'A'] = k;
    taken[letter] = true;
  }
  // A letter that moved frees its new key's US code, and a key whose US
  // letter moved away takes such a code, in keyboard order, so that no two
  // keys share a code (AZERTY's comma key, the US M, gets the code of the
  // US ';' key, which types M there).
  std::vector<std::uint8_t> freed;
  std::vector<Keycode> displaced;
  for (Keycode k = 0; k < kKeycodes; ++k) {
    if (!typing(k)) continue;
    const std::uint8_t us = pcKeys[k]->virtualKeyNumLockOn;
    const std::uint8_t letter = LatinLetter(keymap, k, 0);
    if (letter != 0 && letterKey[letter - 'A'] == k) {
      keys_[k] = {letter, letter};
      if (us != letter && !taken[us]) freed.push_back(us);
    } else if (IsLatinLetter(us) && taken[us]) {
      displaced.push_back(k);
    }
  }
  for (std::size_t i = 0; i < displaced.size(); ++i) {
    const std::uint8_t code = i < freed.size() ? freed[i] : 0;
    keys_[displaced[i]] = {code, code};
  }

  names_.assign(xkb_keymap_num_layouts(keymap), std::vector<std::string>(kKeycodes));
  for (xkb_layout_index_t layout = 0; layout < names_.size(); ++layout) {
    for (Keycode k = 0; k < kKeycodes; ++k) {
      if (!pcKeys[k]) continue;
      names_[layout][k] = pcKeys[k]->naming == Naming::ScanCode ? pcKeys[k]->windowsName
                                                                : CharacterName(keymap, k, layout);
    }
  }

  for (Keycode k = 0; k < kKeycodes; ++k) {
    const Key& key = keys_[k];
    if (key.virtualKeyNumLockOff != 0) keycodes_[0][key.virtualKeyNumLockOff].push_back(k);
    if (key.virtualKeyNumLockOn != 0) keycodes_[1][key.virtualKeyNumLockOn].push_back(k);
  }
}

std::optional<KeyDescription> KeyMap::Describe(Keycode keycode, std::uint32_t layout,
                                               bool numLockOn) const {
  if (keycode >= kKeycodes || names_.empty()) return std::nullopt;
  const Key& key = keys_[keycode];
  const int virtualKey = numLockOn ? key.virtualKeyNumLockOn : key.virtualKeyNumLockOff;
  // The server wraps a group past the last layout round to the first.
  const std::string& name = names_[layout % names_.size()][keycode];
  if (virtualKey == 0 || name.empty()) return std::nullopt;
  return KeyDescription{virtualKey, name};
}

std::span<const Keycode> KeyMap::KeycodesOf(int virtualKey, bool numLockOn) const {
  if (virtualKey < 0 || static_cast<std::size_t>(virtualKey) >= kVirtualKeys) return {};
  return keycodes_[numLockOn ? 1 : 0][static_cast<std::size_t>(virtualKey)];
}

bool KeyMap::FollowsNumLock(int virtualKey) const {
  if (virtualKey < 0 || static_cast<std::size_t>(virtualKey) >= kVirtualKeys) return false;
  const auto code = static_cast<std::size_t>(virtualKey);
  return keycodes_[0][code] != keycodes_[1][code];
}

}  // namespace snapwick::linux
