#include "platform/portal/shortcut_trigger.h"

#include <array>
#include <cstddef>

namespace snapwick::portal {

namespace {

struct TriggerName {
  int virtualKey;
  std::string_view keysym;
};

// Keypad keys are named as Num Lock on gives them (VK_NUMPAD5 is KP_5),
// since the Windows build sees VK_CLEAR, VK_HOME... for the keypad with it
// off, and those are the other keys of this table.
constexpr std::array kNamedKeys{
    TriggerName{0x08, "BackSpace"},    TriggerName{0x09, "Tab"},
    TriggerName{0x0C, "KP_Begin"},     TriggerName{0x0D, "Return"},
    TriggerName{0x13, "Pause"},        TriggerName{0x14, "Caps_Lock"},
    TriggerName{0x1B, "Escape"},       TriggerName{0x20, "space"},
    TriggerName{0x21, "Prior"},        TriggerName{0x22, "Next"},
    TriggerName{0x23, "End"},          TriggerName{0x24, "Home"},
    TriggerName{0x25, "Left"},         TriggerName{0x26, "Up"},
    TriggerName{0x27, "Right"},        TriggerName{0x28, "Down"},
    TriggerName{0x2C, "Print"},        TriggerName{0x2D, "Insert"},
    TriggerName{0x2E, "Delete"},       TriggerName{0x5D, "Menu"},
    TriggerName{0x6A, "KP_Multiply"},  TriggerName{0x6B, "KP_Add"},
    TriggerName{0x6D, "KP_Subtract"},  TriggerName{0x6E, "KP_Decimal"},
    TriggerName{0x6F, "KP_Divide"},    TriggerName{0x90, "Num_Lock"},
    TriggerName{0x91, "Scroll_Lock"},  TriggerName{0xBA, "semicolon"},
    TriggerName{0xBB, "equal"},        TriggerName{0xBC, "comma"},
    TriggerName{0xBD, "minus"},        TriggerName{0xBE, "period"},
    TriggerName{0xBF, "slash"},        TriggerName{0xC0, "grave"},
    TriggerName{0xDB, "bracketleft"},  TriggerName{0xDC, "backslash"},
    TriggerName{0xDD, "bracketright"}, TriggerName{0xDE, "apostrophe"},
    TriggerName{0xE2, "less"},
};

// Letters, digits, keypad digits and F1 to F24 are runs of codes; their
// names are kept whole so that a view of them never dangles.
constexpr std::array<std::string_view, 26> kLetters{"a", "b", "c", "d", "e", "f", "g", "h", "i",
                                                    "j", "k", "l", "m", "n", "o", "p", "q", "r",
                                                    "s", "t", "u", "v", "w", "x", "y", "z"};
constexpr std::array<std::string_view, 10> kDigits{"0", "1", "2", "3", "4",
                                                   "5", "6", "7", "8", "9"};
constexpr std::array<std::string_view, 10> kKeypadDigits{"KP_0", "KP_1", "KP_2", "KP_3", "KP_4",
                                                         "KP_5", "KP_6", "KP_7", "KP_8", "KP_9"};
constexpr std::array<std::string_view, 24> kFunctionKeys{
    "F1",  "F2",  "F3",  "F4",  "F5",  "F6",  "F7",  "F8",  "F9",  "F10", "F11", "F12",
    "F13", "F14", "F15", "F16", "F17", "F18", "F19", "F20", "F21", "F22", "F23", "F24"};

template <std::size_t N>
std::optional<std::string_view> InRun(int virtualKey, int first,
                                      const std::array<std::string_view, N>& names) {
  if (virtualKey < first || virtualKey >= first + static_cast<int>(N)) return std::nullopt;
  return names[static_cast<std::size_t>(virtualKey - first)];
}

}  // namespace

std::optional<std::string_view> TriggerOf(int virtualKey) {
  if (auto name = InRun(virtualKey, 'A', kLetters)) return name;
  if (auto name = InRun(virtualKey, '0', kDigits)) return name;
  if (auto name = InRun(virtualKey, 0x60, kKeypadDigits)) return name;
  if (auto name = InRun(virtualKey, 0x70, kFunctionKeys)) return name;
  for (const auto& named : kNamedKeys) {
    if (named.virtualKey == virtualKey) return named.keysym;
  }
  return std::nullopt;
}

}  // namespace snapwick::portal
