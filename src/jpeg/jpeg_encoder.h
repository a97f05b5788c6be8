#pragma once
// The JPEG encoder of every build: libjpeg-turbo, baseline, 4:2:0, from
// pixels as a screen copy holds them. One encoder lives for the whole run
// and keeps its compressor and its output buffer from shot to shot.

#include <cstdint>
#include <span>

namespace snapwick::jpeg {

// The order of a pixel's four bytes in memory; the fourth (x) is not read.
enum class PixelOrder : std::uint8_t { Bgrx, Rgbx, Xrgb, Xbgr };

// Four bytes a pixel, rows `stride` bytes apart; the first row in memory
// is the top one unless `bottomUp`.
struct Pixels {
  const std::uint8_t* data = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
  bool bottomUp = false;
  PixelOrder order = PixelOrder::Bgrx;
};

enum class Encoded : std::uint8_t {
  Ok,
  InvalidPicture,  // no pixels, no size, or rows shorter than the width
  OutOfMemory,
  Failed,
};

// The quality the encoder is given: 1 to 100, the nearest end for any
// other number.
int EncoderQuality(int quality);
bool ValidPixels(const Pixels& pixels);

class JpegEncoder {
 public:
  JpegEncoder();
  ~JpegEncoder();
  JpegEncoder(const JpegEncoder&) = delete;
  JpegEncoder& operator=(const JpegEncoder&) = delete;

  // Compresses the pixels; on Ok, Bytes() holds the whole file until the
  // next call.
  Encoded Encode(const Pixels& pixels, int quality);
  std::span<const std::uint8_t> Bytes() const { return {buffer_, size_}; }

 private:
  bool Reserve(int width, int height);

  void* handle_ = nullptr;  // the compressor
  std::uint8_t* buffer_ = nullptr;
  unsigned long capacity_ = 0;
  unsigned long size_ = 0;
};

}  // namespace snapwick::jpeg
