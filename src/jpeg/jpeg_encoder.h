#pragma once
// The JPEG encoder that both builds share: libjpeg-turbo, baseline, 4:2:0,
// from pixels as a screen copy holds them. One encoder lives for the whole
// run and keeps its compressor and its output buffer from shot to shot.

#include <cstdint>
#include <span>

namespace snapwick::jpeg {

// Four bytes a pixel, blue, green, red and one unused, rows `stride` bytes
// apart; the first row in memory is the top one unless `bottomUp`.
struct BgrxPixels {
  const std::uint8_t* data = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
  bool bottomUp = false;
};

// Outcomes, numbered as the program has always reported them.
constexpr std::int32_t kOk = 0;
constexpr std::int32_t kFailed = 1;
constexpr std::int32_t kInvalidArgument = 2;
constexpr std::int32_t kOutOfMemory = 3;
constexpr std::int32_t kCannotWriteFile = 7;

// The quality the encoder is given: 1 to 100, the nearest end for any
// other number.
int EncoderQuality(int quality);

class JpegEncoder {
 public:
  JpegEncoder();
  ~JpegEncoder();
  JpegEncoder(const JpegEncoder&) = delete;
  JpegEncoder& operator=(const JpegEncoder&) = delete;

  // Compresses the pixels; on kOk, Bytes() holds the whole file until the
  // next call.
  std::int32_t Encode(const BgrxPixels& pixels, int quality);
  std::span<const std::uint8_t> Bytes() const { return {buffer_, size_}; }

 private:
  bool Reserve(int width, int height);

  void* handle_ = nullptr;  // the compressor
  std::uint8_t* buffer_ = nullptr;
  unsigned long capacity_ = 0;
  unsigned long size_ = 0;
};

}  // namespace snapwick::jpeg
