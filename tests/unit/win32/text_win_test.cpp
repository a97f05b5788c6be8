// UTF-8, UTF-16 and the ANSI code page at the Win32 boundary.

#include <gtest/gtest.h>

#include "platform/win32/text_win.h"
#include "platform/win32/win32_platform.h"

namespace snapwick::win32 {
namespace {

using namespace std::string_literals;

TEST(WidenNarrow, Utf8Texts_RoundTripUnchanged) {
  const std::string cases[] = {
      ""s,
      "Snapwick 1.1 (HotKey:F8)"s,
      "C:\\Снимки экрана\\pic"s,
      "a\0b"s,                   // an embedded NUL is text, not the end
      "shot \xF0\x9F\x93\xB7"s,  // outside the BMP: a surrogate pair in UTF-16
  };
  for (const std::string& text : cases) {
    EXPECT_EQ(Narrow(Widen(text)), text) << text;
  }
}

TEST(Widen, CyrillicAndAstral_GivesUtf16Units) {
  EXPECT_EQ(Widen("Пуск"), L"\x041F\x0443\x0441\x043A");
  EXPECT_EQ(Widen("\xF0\x9F\x93\xB7"), L"\xD83D\xDCF7");
  EXPECT_EQ(Widen("a\0b"s).size(), 3u);
}

TEST(Widen, MalformedUtf8_BecomesReplacementCharacter) {
  EXPECT_EQ(Widen("a\xFF"
                  "b"),
            L"a\xFFFD"
            L"b");
}

class AnsiTest : public ::testing::Test {
 public:
  Win32Platform p{::GetModuleHandleW(nullptr)};
  static bool Russian() { return ::GetACP() == 1251; }
};

TEST_F(AnsiTest, Ascii_SameBytesBothWays) {
  const std::string cases[] = {" Snapwick           "s, "F8"s, "Num 4"s, "a\0b"s};
  for (const std::string& text : cases) {
    EXPECT_EQ(p.ToAnsi(text), text);
    EXPECT_EQ(p.FromAnsi(text), text);
  }
}

TEST_F(AnsiTest, EmptyText_IsEmptyNotFailure) {
  EXPECT_EQ(p.ToAnsi(""), std::optional<std::string>(""));
  EXPECT_EQ(p.FromAnsi(""), "");
}

TEST_F(AnsiTest, CharacterMissingFromCodePage_BecomesQuestionMarkNotLookAlike) {
  // Best-fit would turn the infinity sign into "8" and A-macron into "A":
  // a key name or tip must never change into another readable text.
  EXPECT_EQ(p.ToAnsi("\xE2\x88\x9E"), "?");  // U+221E
  EXPECT_EQ(p.ToAnsi("\xC4\x80"
                     "x"),
            "?x");                           // U+0100
  EXPECT_EQ(p.ToAnsi("\xE6\x97\xA5"), "?");  // U+65E5, no single-byte page has it
}

TEST_F(AnsiTest, RussianCodePage_CyrillicIsWindows1251) {
  if (!Russian()) GTEST_SKIP() << "the ANSI code page is " << ::GetACP() << ", not 1251";
  EXPECT_EQ(p.ToAnsi("Пример ё"), "\xCF\xF0\xE8\xEC\xE5\xF0 \xB8");
  EXPECT_EQ(p.FromAnsi("\xCF\xF0\xE8\xEC\xE5\xF0 \xB8"), "Пример ё");
  EXPECT_EQ(p.FromAnsi("\xC2\xFB\xF5\xEE\xE4"), "Выход");
}

TEST_F(AnsiTest, WesternCodePage_CyrillicCannotBeWritten) {
  if (::GetACP() != 1252) GTEST_SKIP() << "the ANSI code page is " << ::GetACP();
  EXPECT_EQ(p.ToAnsi("Пуск"), "????");
  EXPECT_EQ(p.FromAnsi("\xE9"), "é");
}

}  // namespace
}  // namespace snapwick::win32
