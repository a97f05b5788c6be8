#include "platform/linux/windows1251.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace snapwick::linux {
namespace {

std::string Byte(int b) { return std::string(1, static_cast<char>(b)); }

// UTF-8 of one code point below U+0800.
std::string Utf8(char32_t c) {
  if (c < 0x80) return Byte(static_cast<int>(c));
  return Byte(0xC0 | static_cast<int>(c >> 6)) + Byte(0x80 | static_cast<int>(c & 0x3F));
}

TEST(Windows1251Test, ToWindows1251_Text_BytesOfTheCodePage) {
  const struct {
    const char* utf8;
    std::string bytes;
  } cases[] = {
      {"", ""},
      {"Num 7", "Num 7"},
      {"Ф", "\xD4"},
      {"ф", "\xF4"},
      {"Ё", "\xA8"},
      {"€", "\x88"},
      {"№", "\xB9"},
      {"\u00A0", "\xA0"},
      {"\u0098", "\x98"},  // undefined, but Windows keeps it
      // missing from the code page: '?', never a look-alike
      {"ß", "?"},
      {"é", "?"},
      {"Ä", "?"},
      {"´", "?"},
      {"中", "?"},
      {"😀", "?"},
      {"aßб€", "a?\xE1\x88"},
  };
  for (const auto& c : cases) {
    const auto got = ToWindows1251(c.utf8);
    ASSERT_TRUE(got) << c.utf8;
    EXPECT_EQ(*got, c.bytes) << c.utf8;
  }
}

TEST(Windows1251Test, ToWindows1251_InvalidUtf8_Nothing) {
  const char* cases[] = {"\xFF",
                         "a\xC3",
                         "\xC3(",
                         "\xED\xA0\x80" /* surrogate */,
                         "\xC0\xAF" /* overlong */,
                         "\xF4\x90\x80\x80" /* past U+10FFFF */};
  for (const char* c : cases) EXPECT_FALSE(ToWindows1251(c)) << c;
}

TEST(Windows1251Test, FromWindows1251_Bytes_Utf8) {
  const struct {
    std::string bytes;
    std::string utf8;
  } cases[] = {
      {"", ""},
      {"F8", "F8"},
      {"\xD4", "Ф"},
      {"\xF4", "ф"},
      {"\x88", "€"},
      {"\xB9", "№"},
      {"\x98", "\u0098"},
      {std::string("A\0B", 3), std::string("A\0B", 3)},
      {"\xC7\x98\xDF", "З\u0098Я"},  // conversion goes on past 0x98
  };
  for (const auto& c : cases) EXPECT_EQ(FromWindows1251(c.bytes), c.utf8) << c.bytes;
}

TEST(Windows1251Test, CyrillicLetters_BothWays_TheirCodePoints) {
  std::vector<std::pair<int, char32_t>> letters;
  for (int b = 0xC0; b <= 0xFF; ++b) letters.emplace_back(b, U'\u0410' + (b - 0xC0));
  const std::pair<int, char32_t> others[] = {
      {0x80, U'Ђ'}, {0x81, U'Ѓ'}, {0x83, U'ѓ'}, {0x8A, U'Љ'}, {0x8C, U'Њ'}, {0x8D, U'Ќ'},
      {0x8E, U'Ћ'}, {0x8F, U'Џ'}, {0x90, U'ђ'}, {0x9A, U'љ'}, {0x9C, U'њ'}, {0x9D, U'ќ'},
      {0x9E, U'ћ'}, {0x9F, U'џ'}, {0xA1, U'Ў'}, {0xA2, U'ў'}, {0xA3, U'Ј'}, {0xA5, U'Ґ'},
      {0xA8, U'Ё'}, {0xAA, U'Є'}, {0xAF, U'Ї'}, {0xB2, U'І'}, {0xB3, U'і'}, {0xB4, U'ґ'},
      {0xB8, U'ё'}, {0xBA, U'є'}, {0xBC, U'ј'}, {0xBD, U'Ѕ'}, {0xBE, U'ѕ'}, {0xBF, U'ї'}};
  letters.insert(letters.end(), std::begin(others), std::end(others));
  for (const auto& [byte, letter] : letters) {
    EXPECT_EQ(FromWindows1251(Byte(byte)), Utf8(letter)) << std::hex << byte;
    EXPECT_EQ(ToWindows1251(Utf8(letter)), Byte(byte)) << std::hex << byte;
  }
}

TEST(Windows1251Test, AllBytes_RoundTrip_Unchanged) {
  std::string all;
  for (int b = 0; b < 256; ++b) {
    const std::string text = FromWindows1251(Byte(b));
    EXPECT_FALSE(text.empty()) << b;
    if (b != '?') {
      EXPECT_NE(text, "?") << b;
    }
    EXPECT_EQ(ToWindows1251(text), Byte(b)) << b;
    all += Byte(b);
  }
  EXPECT_EQ(ToWindows1251(FromWindows1251(all)), all);
}

}  // namespace
}  // namespace snapwick::linux
