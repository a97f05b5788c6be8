#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "decoded_jpeg.h"
#include "jpeg/jpeg_encoder.h"

namespace snapwick::jpeg {
namespace {

// A picture with edges, gradients and flat areas, as BGRX rows.
std::vector<std::uint8_t> Picture(int width, int height) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width * height * 4));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = &pixels[static_cast<std::size_t>((y * width + x) * 4)];
      // Sharp edges in brightness, slow changes in colour: what a desktop
      // has, and what 4:2:0 keeps.
      const int edge = (x / 8 + y / 8) % 2 ? 120 : 0;
      p[0] = static_cast<std::uint8_t>(x * 120 / width + edge);
      p[1] = static_cast<std::uint8_t>(y * 120 / height + edge);
      p[2] = static_cast<std::uint8_t>(60 + edge);
      p[3] = 0x5A;  // unused: must not matter
    }
  }
  return pixels;
}

using testing::DecodedJpeg;
using testing::DecodeJpeg;

double Rmse(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  double sum = 0;
  std::size_t n = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (i % 4 == 3) continue;
    const double d = (a[i] - b[i]) / 255.0;
    sum += d * d;
    ++n;
  }
  return std::sqrt(sum / static_cast<double>(n));
}

TEST(JpegEncoder, Qualities_ValidFourTwoZeroFilesThatGrowWithTheQuality) {
  const auto pixels = Picture(160, 120);
  JpegEncoder encoder;
  std::size_t previous = 0;
  for (int q : {10, 50, 80, 100}) {
    ASSERT_EQ(encoder.Encode({pixels.data(), 160, 120, 160 * 4}, q), Encoded::Ok) << q;
    const auto file = encoder.Bytes();
    EXPECT_GT(file.size(), previous) << q;
    previous = file.size();
    const DecodedJpeg d = DecodeJpeg(file);
    EXPECT_EQ(d.width, 160) << q;
    EXPECT_EQ(d.height, 120) << q;
    EXPECT_EQ(d.subsampling, TJSAMP_420) << q;
    if (q >= 50) {
      EXPECT_LT(Rmse(d.bgrx, pixels), 0.06) << q;
    }
  }
}

TEST(JpegEncoder, BottomUpRows_SameFileAsTopDown) {
  const int w = 48, h = 32;
  const auto pixels = Picture(w, h);
  std::vector<std::uint8_t> flipped(pixels.size());
  for (int y = 0; y < h; ++y) {
    std::copy_n(&pixels[static_cast<std::size_t>(y * w * 4)], w * 4,
                &flipped[static_cast<std::size_t>((h - 1 - y) * w * 4)]);
  }
  JpegEncoder encoder;
  ASSERT_EQ(encoder.Encode({pixels.data(), w, h, w * 4}, 80), Encoded::Ok);
  const std::vector<std::uint8_t> topDown(encoder.Bytes().begin(), encoder.Bytes().end());
  ASSERT_EQ(encoder.Encode({flipped.data(), w, h, w * 4, true}, 80), Encoded::Ok);
  EXPECT_EQ(std::vector<std::uint8_t>(encoder.Bytes().begin(), encoder.Bytes().end()), topDown);
}

TEST(JpegEncoder, QualityOutsideOneToHundred_EncodedAsTheNearestEnd) {
  EXPECT_EQ(EncoderQuality(0), 1);
  EXPECT_EQ(EncoderQuality(-5), 1);
  EXPECT_EQ(EncoderQuality(255), 100);
  EXPECT_EQ(EncoderQuality(37), 37);
  const auto pixels = Picture(32, 32);
  JpegEncoder encoder;
  ASSERT_EQ(encoder.Encode({pixels.data(), 32, 32, 128}, 255), Encoded::Ok);
  const std::vector<std::uint8_t> above(encoder.Bytes().begin(), encoder.Bytes().end());
  ASSERT_EQ(encoder.Encode({pixels.data(), 32, 32, 128}, 100), Encoded::Ok);
  EXPECT_EQ(std::vector<std::uint8_t>(encoder.Bytes().begin(), encoder.Bytes().end()), above);
}

TEST(JpegEncoder, BadPixels_InvalidArgumentAndNoBytes) {
  const auto pixels = Picture(8, 8);
  JpegEncoder encoder;
  EXPECT_EQ(encoder.Encode({nullptr, 8, 8, 32}, 80), Encoded::InvalidPicture);
  EXPECT_EQ(encoder.Encode({pixels.data(), 0, 8, 32}, 80), Encoded::InvalidPicture);
  EXPECT_EQ(encoder.Encode({pixels.data(), 8, 8, 16}, 80), Encoded::InvalidPicture);
  EXPECT_TRUE(encoder.Bytes().empty());
}

TEST(JpegEncoder, PictureTooLargeForOneBuffer_OutOfMemoryWithoutReadingIt) {
  // 3 bytes a pixel of worst case put this beyond what one allocation can
  // hold; the few real bytes behind `data` must never be read.
  const std::vector<std::uint8_t> few(64);
  JpegEncoder encoder;
  EXPECT_EQ(encoder.Encode({few.data(), 30000, 30000, 30000 * 4}, 80), Encoded::OutOfMemory);
  EXPECT_TRUE(encoder.Bytes().empty());
}

// FNV-1a, 64 bits: written out here so that both builds compute it alike.
std::uint64_t Fnv1a(std::span<const std::uint8_t> bytes) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (const std::uint8_t b : bytes) {
    hash ^= b;
    hash *= 0x100000001b3u;
  }
  return hash;
}

std::string Hex(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

// The Windows build and the native one encode the same pixels into the same
// bytes: this test runs in both, against the same digests. A width and a
// height that are no multiple of the 16-pixel block reach the edge code of
// the SIMD paths too.
TEST(JpegEncoder, FixedPicture_SameBytesInEveryBuild) {
  constexpr int kWidth = 333;
  constexpr int kHeight = 257;
  const auto topDown = Picture(kWidth, kHeight);
  std::vector<std::uint8_t> bottomUp(topDown.size());
  for (int y = 0; y < kHeight; ++y) {
    std::copy_n(&topDown[static_cast<std::size_t>(y * kWidth * 4)], kWidth * 4,
                &bottomUp[static_cast<std::size_t>((kHeight - 1 - y) * kWidth * 4)]);
  }
  const struct {
    int quality;
    bool bottomUp;
    std::size_t size;
    const char* digest;
  } cases[] = {
      {10, false, 2557, "4a987d9acce691ad"},
      {50, true, 3093, "1872f35379c09f2a"},
      {80, false, 4873, "846de76249055a04"},
      {100, true, 20923, "a5dbb3967181b880"},
  };
  JpegEncoder encoder;
  for (const auto& c : cases) {
    const auto& pixels = c.bottomUp ? bottomUp : topDown;
    ASSERT_EQ(encoder.Encode({pixels.data(), kWidth, kHeight, kWidth * 4, c.bottomUp}, c.quality),
              Encoded::Ok)
        << c.quality;
    EXPECT_EQ(encoder.Bytes().size(), c.size) << "quality " << c.quality;
    EXPECT_EQ(Hex(Fnv1a(encoder.Bytes())), c.digest) << "quality " << c.quality;
  }
}

TEST(JpegEncoder, LargerPictureAfterASmallOne_BufferGrows) {
  JpegEncoder encoder;
  const auto small = Picture(16, 16);
  ASSERT_EQ(encoder.Encode({small.data(), 16, 16, 64}, 100), Encoded::Ok);
  const auto large = Picture(640, 480);
  ASSERT_EQ(encoder.Encode({large.data(), 640, 480, 640 * 4}, 100), Encoded::Ok);
  EXPECT_EQ(DecodeJpeg(encoder.Bytes()).width, 640);
}

}  // namespace
}  // namespace snapwick::jpeg
