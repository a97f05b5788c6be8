// Key names as GetKeyNameTextA gives them, decoded from the ANSI code page.

#include <gtest/gtest.h>

#include "platform/win32/win32_platform.h"

namespace snapwick::win32 {
namespace {

// The keystroke flags of a key's release, as the keyboard hook receives
// them: repeat count 1, the scan code, the extended-key bit, and bits 30
// and 31 set.
std::int32_t ReleaseFlags(UINT virtualKey, bool extended = false) {
  const UINT scan = ::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
  std::uint32_t flags = 1u | (scan << 16) | (1u << 30) | (1u << 31);
  if (extended) flags |= 1u << 24;
  return static_cast<std::int32_t>(flags);
}

class KeyNameTest : public ::testing::Test {
 protected:
  Win32Platform p{::GetModuleHandleW(nullptr)};
};

TEST_F(KeyNameTest, FunctionAndLetterKeys_NameAndLength) {
  const struct {
    UINT vk;
    const char* name;
  } cases[] = {{VK_F1, "F1"}, {VK_F5, "F5"}, {VK_F8, "F8"}, {VK_F10, "F10"},
               {VK_F12, "F12"}, {'A', "A"}, {'Z', "Z"}, {'5', "5"}};
  for (const auto& c : cases) {
    const KeyName name = p.GetKeyNameText(ReleaseFlags(c.vk), 30);
    EXPECT_EQ(name.text, c.name) << c.vk;
    EXPECT_EQ(name.length, static_cast<int>(std::string(c.name).size())) << c.vk;
  }
}

TEST_F(KeyNameTest, SmallBuffer_NameCutToBufferLessTerminator) {
  const KeyName name = p.GetKeyNameText(ReleaseFlags(VK_F10), 3);
  EXPECT_EQ(name.length, 2);
  EXPECT_EQ(name.text, "F1");
}

TEST_F(KeyNameTest, NoBuffer_NoName) {
  const KeyName name = p.GetKeyNameText(ReleaseFlags(VK_F8), 0);
  EXPECT_LE(name.length, 0);
  EXPECT_EQ(name.text, "");
}

TEST_F(KeyNameTest, ScanCodeZero_HasNoName) {
  const KeyName name = p.GetKeyNameText(static_cast<std::int32_t>(0xC0000001u), 30);
  EXPECT_LE(name.length, 0);
  EXPECT_EQ(name.text, "");
}

TEST_F(KeyNameTest, ExtendedBit_PassedThrough) {
  // The same scan code names the keypad's 4 and, extended, the Left arrow.
  const KeyName keypad = p.GetKeyNameText(ReleaseFlags(VK_LEFT, false), 30);
  const KeyName arrow = p.GetKeyNameText(ReleaseFlags(VK_LEFT, true), 30);
  ASSERT_GT(keypad.length, 0);
  ASSERT_GT(arrow.length, 0);
  EXPECT_NE(keypad.text, arrow.text);
}

}  // namespace
}  // namespace snapwick::win32
