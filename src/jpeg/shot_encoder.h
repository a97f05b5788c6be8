#pragma once
// The encoder a shot is compressed with: two strips at once where a second
// core can take one, one strip otherwise, and one strip again whenever the
// strips cannot be used for a picture.

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "jpeg/jpeg_encoder.h"
#include "jpeg/strip_encoder.h"

namespace snapwick::jpeg {

// The cores this process may run on (not those the machine has); at
// least 1.
int UsableCores();

class ShotEncoder {
 public:
  // `strips`: whether to try two strips at all; the helper thread is
  // started here, and a helper that cannot start leaves one strip.
  explicit ShotEncoder(bool strips);

  Encoded Encode(const Pixels& pixels, int quality);
  // The file, in order, until the next call; some parts may be empty.
  std::span<const std::span<const std::uint8_t>> Parts() const { return {parts_.data(), count_}; }
  bool TwoStrips() const { return strips_ != nullptr; }

 private:
  JpegEncoder whole_;
  std::unique_ptr<StripEncoder> strips_;
  std::array<std::span<const std::uint8_t>, 3> parts_{};
  std::size_t count_ = 0;
};

}  // namespace snapwick::jpeg
