// The picture of a turned or mirrored output, upright: a 3x2 buffer whose
// pixels are named a to f, turned back as sway shows it for each
// wl_output transform (checked against the copies of a turned headless
// sway 1.12).
#include "platform/wayland/output_transform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace snapwick::wayland {
namespace {

// a b c
// d e f   as the buffer holds it, each pixel's first byte its letter; rows
// `stride` bytes apart, bottom row first where bottomUp.
struct Buffer {
  std::vector<std::uint8_t> bytes;
  Frame frame;

  Buffer(int stride, bool bottomUp) : bytes(static_cast<std::size_t>(stride) * 2, 0) {
    const std::string rows[2] = {"abc", "def"};
    for (int y = 0; y < 2; ++y) {
      const int row = bottomUp ? 1 - y : y;
      for (int x = 0; x < 3; ++x)
        bytes[static_cast<std::size_t>(row * stride + x * 4)] =
            static_cast<std::uint8_t>(rows[y][static_cast<std::size_t>(x)]);
    }
    frame = Frame{bytes.data(), 3, 2, stride, PixelLayout::Bgrx, bottomUp};
  }
};

// The frame's letters, rows top first, separated by '/'.
std::string Letters(const Frame& frame) {
  std::string letters;
  for (int y = 0; y < frame.height; ++y) {
    const int row = frame.bottomUp ? frame.height - 1 - y : y;
    if (y) letters += '/';
    for (int x = 0; x < frame.width; ++x) {
      letters += static_cast<char>(frame.pixels[row * frame.stride + x * 4]);
    }
  }
  return letters;
}

TEST(OutputTransform, EachTransform_TurnsTheBufferBackUpright) {
  const struct {
    std::uint32_t transform;
    const char* upright;
  } kCases[] = {
      {1, "da/eb/fc"},  // sway's "transform 270"
      {2, "fed/cba"},   // "transform 180"
      {3, "cf/be/ad"},  // "transform 90"
      {4, "cba/fed"},   // "transform flipped"
      {5, "ad/be/cf"},  // mirrored and turned
      {6, "def/abc"},  {7, "fc/eb/da"},
  };
  for (const auto& c : kCases) {
    for (const bool bottomUp : {false, true}) {
      // Rows padded beyond the pixels, as a compositor's stride may be.
      Buffer buffer(16, bottomUp);
      std::vector<std::uint8_t> kept;
      const Frame upright = Upright(buffer.frame, c.transform, kept);
      EXPECT_EQ(Letters(upright), c.upright)
          << "transform " << c.transform << " bottomUp " << bottomUp;
      EXPECT_EQ(upright.pixels, kept.data());
      EXPECT_FALSE(upright.bottomUp);
      EXPECT_EQ(upright.stride, upright.width * 4);
      EXPECT_EQ(upright.layout, PixelLayout::Bgrx);
    }
  }
}

TEST(OutputTransform, UprightOrUnknownTransform_HandsOverTheBufferItself) {
  Buffer buffer(12, true);
  for (const std::uint32_t transform : {0U, 8U}) {
    std::vector<std::uint8_t> kept;
    const Frame frame = Upright(buffer.frame, transform, kept);
    EXPECT_EQ(frame.pixels, buffer.bytes.data());
    EXPECT_TRUE(frame.bottomUp);
    EXPECT_TRUE(kept.empty());
  }
}

}  // namespace
}  // namespace snapwick::wayland
