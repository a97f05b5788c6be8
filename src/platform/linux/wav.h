#pragma once
// Reading a WAV file's sound: the RIFF chunks "fmt " and "data" of plain
// PCM, IEEE float and the two telephone codings, also in the extensible
// format record.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace snapwick::linux {

enum class SampleEncoding : std::uint8_t {
  Unsigned8,
  Signed16,
  Signed24,
  Signed32,
  Float32,
  ALaw,
  MuLaw,
};

struct WavSound {
  SampleEncoding encoding = SampleEncoding::Signed16;
  std::uint32_t rate = 0;  // frames a second
  std::uint16_t channels = 0;
  std::uint16_t frameBytes = 0;
  // The samples inside the file: whole frames only, and never past its end
  // even when the chunk claims more.
  std::size_t dataOffset = 0;
  std::size_t dataSize = 0;
};

// Nothing for a file that is not a WAV, or holds a sound this program
// cannot play.
std::optional<WavSound> ParseWav(std::span<const std::uint8_t> file);

}  // namespace snapwick::linux
