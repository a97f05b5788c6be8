#include "platform/linux/wav.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace snapwick::linux {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, unsigned v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void PutId(Bytes& b, const char* id) { b.insert(b.end(), id, id + 4); }

Bytes Chunk(const char* id, const Bytes& body, std::uint32_t declared) {
  Bytes b;
  PutId(b, id);
  Put32(b, declared);
  b.insert(b.end(), body.begin(), body.end());
  if (body.size() % 2) b.push_back(0);
  return b;
}
Bytes Chunk(const char* id, const Bytes& body) {
  return Chunk(id, body, static_cast<std::uint32_t>(body.size()));
}

Bytes Format(unsigned tag, unsigned channels, std::uint32_t rate, unsigned bits,
             unsigned blockAlign) {
  Bytes b;
  Put16(b, tag);
  Put16(b, channels);
  Put32(b, rate);
  Put32(b, rate * blockAlign);
  Put16(b, blockAlign);
  Put16(b, bits);
  return b;
}
Bytes Format(unsigned tag, unsigned channels, std::uint32_t rate, unsigned bits) {
  return Format(tag, channels, rate, bits, channels * bits / 8);
}

// The extensible record, with a sub-format GUID whose tail may be spoiled.
Bytes Extensible(unsigned subTag, unsigned channels, unsigned bits, bool standardGuid) {
  Bytes b = Format(0xFFFE, channels, 48000, bits);
  Put16(b, 22);
  Put16(b, bits);
  Put32(b, 0x3);
  Put16(b, subTag);
  const std::uint8_t tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  b.insert(b.end(), tail, tail + 14);
  if (!standardGuid) b.back() ^= 0xFF;
  return b;
}

Bytes Riff(std::initializer_list<Bytes> chunks, const char* form = "WAVE") {
  Bytes body;
  PutId(body, form);
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  Bytes file;
  PutId(file, "RIFF");
  Put32(file, static_cast<std::uint32_t>(body.size()));
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

Bytes Samples(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7);
  return b;
}

TEST(ParseWav, PlayableFormats_EncodingRateChannelsAndWhereTheSamplesAre) {
  const struct {
    const char* what;
    Bytes file;
    SampleEncoding encoding;
    std::uint32_t rate;
    std::uint16_t channels;
    std::size_t offset, size;
  } cases[] = {
      {"16-bit mono, as the program's own sounds",
       Riff({Chunk("fmt ", Format(1, 1, 22050, 16)), Chunk("data", Samples(100))}),
       SampleEncoding::Signed16, 22050, 1, 44, 100},
      {"8-bit stereo", Riff({Chunk("fmt ", Format(1, 2, 8000, 8)), Chunk("data", Samples(40))}),
       SampleEncoding::Unsigned8, 8000, 2, 44, 40},
      {"24-bit", Riff({Chunk("fmt ", Format(1, 1, 48000, 24)), Chunk("data", Samples(30))}),
       SampleEncoding::Signed24, 48000, 1, 44, 30},
      {"32-bit integer", Riff({Chunk("fmt ", Format(1, 1, 48000, 32)), Chunk("data", Samples(8))}),
       SampleEncoding::Signed32, 48000, 1, 44, 8},
      {"float", Riff({Chunk("fmt ", Format(3, 2, 44100, 32)), Chunk("data", Samples(16))}),
       SampleEncoding::Float32, 44100, 2, 44, 16},
      {"A-law", Riff({Chunk("fmt ", Format(6, 1, 8000, 8)), Chunk("data", Samples(5))}),
       SampleEncoding::ALaw, 8000, 1, 44, 5},
      {"mu-law", Riff({Chunk("fmt ", Format(7, 1, 8000, 8)), Chunk("data", Samples(5))}),
       SampleEncoding::MuLaw, 8000, 1, 44, 5},
      {"extensible PCM",
       Riff({Chunk("fmt ", Extensible(1, 2, 16, true)), Chunk("data", Samples(8))}),
       SampleEncoding::Signed16, 48000, 2, 68, 8},
      {"fmt record with an empty extension (18 bytes)",
       Riff({Chunk("fmt ",
                   [] {
                     Bytes f = Format(1, 1, 22050, 16);
                     Put16(f, 0);
                     return f;
                   }()),
             Chunk("data", Samples(4))}),
       SampleEncoding::Signed16, 22050, 1, 46, 4},
      {"odd-sized chunk before the samples is padded",
       Riff({Chunk("fmt ", Format(1, 1, 22050, 16)), Chunk("LIST", Bytes(3, 'x')),
             Chunk("data", Samples(6))}),
       SampleEncoding::Signed16, 22050, 1, 56, 6},
      {"data before fmt", Riff({Chunk("data", Samples(6)), Chunk("fmt ", Format(1, 1, 22050, 16))}),
       SampleEncoding::Signed16, 22050, 1, 20, 6},
      {"a recording cut short keeps its whole frames",
       Riff({Chunk("fmt ", Format(1, 2, 22050, 16)), Chunk("data", Samples(10), 1000)}),
       SampleEncoding::Signed16, 22050, 2, 44, 8},
      {"a half frame at the end is left out",
       Riff({Chunk("fmt ", Format(1, 1, 22050, 16)), Chunk("data", Samples(7))}),
       SampleEncoding::Signed16, 22050, 1, 44, 6},
      {"no samples at all", Riff({Chunk("fmt ", Format(1, 1, 22050, 16)), Chunk("data", Bytes{})}),
       SampleEncoding::Signed16, 22050, 1, 44, 0},
  };
  for (const auto& c : cases) {
    const auto wav = ParseWav(c.file);
    ASSERT_TRUE(wav) << c.what;
    EXPECT_EQ(wav->encoding, c.encoding) << c.what;
    EXPECT_EQ(wav->rate, c.rate) << c.what;
    EXPECT_EQ(wav->channels, c.channels) << c.what;
    EXPECT_EQ(wav->dataOffset, c.offset) << c.what;
    EXPECT_EQ(wav->dataSize, c.size) << c.what;
    EXPECT_LE(wav->dataOffset + wav->dataSize, c.file.size()) << c.what;
  }
}

TEST(ParseWav, NotAPlayableWav_Nothing) {
  const Bytes fmt = Chunk("fmt ", Format(1, 1, 22050, 16));
  const Bytes data = Chunk("data", Samples(8));
  const struct {
    const char* what;
    Bytes file;
  } cases[] = {
      {"empty", {}},
      {"shorter than a header", Bytes{'R', 'I', 'F', 'F', 0, 0}},
      {"not RIFF",
       [&] {
         Bytes b = Riff({fmt, data});
         b[0] = 'X';
         return b;
       }()},
      {"RIFF of another form", Riff({fmt, data}, "AVI ")},
      {"no fmt", Riff({data})},
      {"no data", Riff({fmt})},
      {"fmt too short", Riff({Chunk("fmt ", Bytes(14, 0)), data})},
      {"12-bit samples", Riff({Chunk("fmt ", Format(1, 1, 22050, 12, 2)), data})},
      {"ADPCM", Riff({Chunk("fmt ", Format(2, 1, 22050, 4, 256)), data})},
      {"no channels", Riff({Chunk("fmt ", Format(1, 0, 22050, 16, 2)), data})},
      {"33 channels", Riff({Chunk("fmt ", Format(1, 33, 22050, 16)), data})},
      {"rate 0", Riff({Chunk("fmt ", Format(1, 1, 0, 16)), data})},
      {"block size that disagrees", Riff({Chunk("fmt ", Format(1, 2, 22050, 16, 2)), data})},
      {"64-bit float", Riff({Chunk("fmt ", Format(3, 1, 22050, 64)), data})},
      {"extensible without its record", Riff({Chunk("fmt ", Format(0xFFFE, 1, 22050, 16)), data})},
      {"extensible of an unknown sub-format",
       Riff({Chunk("fmt ", Extensible(1, 1, 16, false)), data})},
      {"fmt chunk claiming 4 GB", Riff({Chunk("fmt ", Format(1, 1, 22050, 16), 0xFFFFFFFF)})},
  };
  for (const auto& c : cases) EXPECT_FALSE(ParseWav(c.file)) << c.what;
}

}  // namespace
}  // namespace snapwick::linux
