#include "platform/linux/wav.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace snapwick::linux {
namespace {

constexpr std::uint16_t kFormatPcm = 0x0001;
constexpr std::uint16_t kFormatFloat = 0x0003;
constexpr std::uint16_t kFormatALaw = 0x0006;
constexpr std::uint16_t kFormatMuLaw = 0x0007;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
constexpr std::uint16_t kMaxChannels = 32;  // what a sound server takes
constexpr std::uint32_t kMaxRate = 384000;
constexpr std::size_t kFormatSize = 16;
constexpr std::size_t kExtensibleSize = 40;
// Every sub-format of the extensible record ends in these 14 bytes; its
// first two are the plain format's tag.
constexpr std::array<std::uint8_t, 14> kSubFormatTail{0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                      0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t U32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
bool IdIs(const std::uint8_t* p, const char (&id)[5]) { return std::memcmp(p, id, 4) == 0; }

std::optional<SampleEncoding> EncodingOf(std::uint16_t tag, std::uint16_t bits) {
  switch (tag) {
    case kFormatPcm:
      switch (bits) {
        case 8:
          return SampleEncoding::Unsigned8;
        case 16:
          return SampleEncoding::Signed16;
        case 24:
          return SampleEncoding::Signed24;
        case 32:
          return SampleEncoding::Signed32;
        default:
          return std::nullopt;
      }
    case kFormatFloat:
      if (bits == 32) return SampleEncoding::Float32;
      return std::nullopt;
    case kFormatALaw:
      if (bits == 8) return SampleEncoding::ALaw;
      return std::nullopt;
    case kFormatMuLaw:
      if (bits == 8) return SampleEncoding::MuLaw;
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

// The "fmt " chunk's record into a sound without its data yet.
std::optional<WavSound> ParseFormat(std::span<const std::uint8_t> chunk) {
  if (chunk.size() < kFormatSize) return std::nullopt;
  const std::uint8_t* p = chunk.data();
  std::uint16_t tag = U16(p);
  const std::uint16_t channels = U16(p + 2);
  const std::uint32_t rate = U32(p + 4);
  const std::uint16_t blockAlign = U16(p + 12);
  const std::uint16_t bits = U16(p + 14);
  if (tag == kFormatExtensible) {
    if (chunk.size() < kExtensibleSize) return std::nullopt;
    const std::uint8_t* subFormat = p + 24;
    if (!std::equal(kSubFormatTail.begin(), kSubFormatTail.end(), subFormat + 2)) {
      return std::nullopt;
    }
    tag = U16(subFormat);
  }
  const auto encoding = EncodingOf(tag, bits);
  if (!encoding || channels == 0 || channels > kMaxChannels || rate == 0 || rate > kMaxRate ||
      blockAlign != channels * (bits / 8)) {
    return std::nullopt;
  }
  WavSound sound;
  sound.encoding = *encoding;
  sound.rate = rate;
  sound.channels = channels;
  sound.frameBytes = blockAlign;
  return sound;
}

}  // namespace

std::optional<WavSound> ParseWav(std::span<const std::uint8_t> file) {
  constexpr std::size_t kHeader = 12;
  constexpr std::size_t kChunkHeader = 8;
  if (file.size() < kHeader || !IdIs(file.data(), "RIFF") || !IdIs(file.data() + 8, "WAVE")) {
    return std::nullopt;
  }
  std::optional<WavSound> format;
  std::optional<std::pair<std::size_t, std::size_t>> data;  // offset, size
  std::size_t at = kHeader;
  while (file.size() - at >= kChunkHeader && !(format && data)) {
    const std::uint8_t* chunk = file.data() + at;
    const std::size_t declared = U32(chunk + 4);
    const std::size_t start = at + kChunkHeader;
    const std::size_t available = std::min(declared, file.size() - start);
    if (IdIs(chunk, "fmt ")) {
      format = ParseFormat(file.subspan(start, available));
      if (!format) return std::nullopt;
    } else if (IdIs(chunk, "data")) {
      // A recording cut short keeps what it has.
      data = {start, available};
    }
    if (declared > file.size() - start) break;
    // Chunks of odd size are followed by a pad byte.
    at = start + declared + (declared & 1);
    if (at > file.size()) break;
  }
  if (!format || !data) return std::nullopt;
  format->dataOffset = data->first;
  format->dataSize = data->second - data->second % format->frameBytes;
  return format;
}

}  // namespace snapwick::linux
