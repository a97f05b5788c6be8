// A written JPEG read back with TurboJPEG, for the tests that check what the
// encoders made.
#pragma once

#include <turbojpeg.h>

#include <cstdint>
#include <span>
#include <vector>

namespace snapwick::testing {

struct DecodedJpeg {
  int width = 0, height = 0, subsampling = -1;
  std::vector<std::uint8_t> bgrx;  // empty when the file did not decode
  bool operator==(const DecodedJpeg&) const = default;
};

inline DecodedJpeg DecodeJpeg(std::span<const std::uint8_t> file) {
  DecodedJpeg d;
  tjhandle h = tjInitDecompress();
  int colorspace = 0;
  auto* data = const_cast<unsigned char*>(file.data());
  if (tjDecompressHeader3(h, data, file.size(), &d.width, &d.height, &d.subsampling, &colorspace) ==
      0) {
    d.bgrx.resize(static_cast<std::size_t>(d.width) * d.height * 4);
    if (tjDecompress2(h, data, file.size(), d.bgrx.data(), d.width, 0, d.height, TJPF_BGRX, 0) !=
        0) {
      d.bgrx.clear();
    }
  }
  tjDestroy(h);
  return d;
}

}  // namespace snapwick::testing
