#pragma once
// The layout of set.ini: one small binary record, 29 bytes plus the key
// name, despite the file's extension.
//
//   offset 0      quality byte, then CR LF
//   offset 3      sound byte (0 or 1), then CR LF
//   offset 6      hotkey byte (virtual-key code; 0: none), then CR LF
//   offset 9      key name, ANSI, N bytes, no length and no terminator
//   offset 9 + N  twenty spaces
//
// The reader takes the name as the 20 bytes from offset 9, so a name of up
// to 20 bytes comes back whole once trimmed.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace snapwick::settings_record {

constexpr std::size_t kQualityOffset = 0;
constexpr std::size_t kSoundOffset = 3;
constexpr std::size_t kHotKeyOffset = 6;
constexpr std::size_t kNameOffset = 9;
constexpr std::size_t kNameLength = 20;
constexpr std::size_t kPadding = 20;
// Files this large or larger are not a settings record.
constexpr std::int64_t kMaxLength = 32768;

// The part of the file the reader looks at.
using Record = std::array<std::uint8_t, kNameOffset + kNameLength>;

struct Fields {
  std::uint8_t quality = 0;
  std::uint8_t sound = 0;
  std::uint8_t hotKey = 0;
  std::string ansiName;  // the 20 name bytes, untrimmed
};

// What the reader starts from: bytes 0, name bytes spaces. Bytes a short
// file does not hold keep these values.
Record EmptyRecord();
Fields Decode(const Record& head);

std::vector<std::uint8_t> Encode(std::uint8_t quality, std::uint8_t soundOn, std::uint8_t hotKey,
                                 std::string_view ansiName);

}  // namespace snapwick::settings_record
