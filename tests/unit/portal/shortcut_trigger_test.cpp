#include "platform/portal/shortcut_trigger.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace snapwick::portal {
namespace {

struct TriggerCase {
  int virtualKey;
  const char* trigger;  // nullptr: none
};

// Each run's first and last code, and the codes just outside it, where an
// off-by-one in a range would show.
constexpr TriggerCase kCases[] = {
    {0x77, "F8"},
    {0x70, "F1"},
    {0x87, "F24"},
    {0x88, nullptr},
    {0x2C, "Print"},
    {0x13, "Pause"},
    {0x41, "a"},
    {0x5A, "z"},
    {0x40, nullptr},
    {0x5B, nullptr},
    {0x30, "0"},
    {0x39, "9"},
    {0x3A, nullptr},
    {0x60, "KP_0"},
    {0x69, "KP_9"},
    {0x5F, nullptr},
    {0x6A, "KP_Multiply"},
    {0x6B, "KP_Add"},
    {0x6D, "KP_Subtract"},
    {0x6E, "KP_Decimal"},
    {0x6F, "KP_Divide"},
    {0x0C, "KP_Begin"},
    {0x20, "space"},
    {0x0D, "Return"},
    {0x1B, "Escape"},
    {0x21, "Prior"},
    {0x22, "Next"},
    {0x2E, "Delete"},
    {0x90, "Num_Lock"},
    {0x91, "Scroll_Lock"},
    {0xC0, "grave"},
    {0xE2, "less"},
    // Bare modifiers and the Windows keys cannot be a shortcut alone; mouse
    // buttons, media keys and codes no key has are none either.
    {0x10, nullptr},
    {0x11, nullptr},
    {0x12, nullptr},
    {0x5C, nullptr},
    {0x01, nullptr},
    {0xAD, nullptr},
    {0x00, nullptr},
    {0xFF, nullptr},
    {-1, nullptr},
    {0x10077, nullptr},
};

TEST(ShortcutTrigger, EachKeyHasItsXkbName) {
  for (const auto& c : kCases) {
    const auto trigger = TriggerOf(c.virtualKey);
    if (c.trigger) {
      ASSERT_TRUE(trigger) << std::hex << c.virtualKey;
      EXPECT_EQ(std::string(*trigger), c.trigger) << std::hex << c.virtualKey;
    } else {
      EXPECT_FALSE(trigger) << std::hex << c.virtualKey << " gave " << std::string(*trigger);
    }
  }
}

TEST(ShortcutTrigger, NoTwoKeysShareATrigger) {
  std::set<std::string> seen;
  for (int key = 0; key < 256; ++key) {
    if (const auto trigger = TriggerOf(key)) {
      EXPECT_TRUE(seen.insert(std::string(*trigger)).second) << *trigger;
    }
  }
  // Letters, digits, keypad digits, F1-F24 and the named keys.
  EXPECT_EQ(seen.size(), 26u + 10u + 10u + 24u + 39u);
}

}  // namespace
}  // namespace snapwick::portal
