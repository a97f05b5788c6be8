#include "platform/x11/copy_plan.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace snapwick::x11 {
namespace {

TEST(PrimaryRect, RandrAnswers_ThePrimaryMonitorCutToTheRoot) {
  const struct {
    const char* what;
    std::optional<Rect> crtc;
    int rootWidth, rootHeight;
    Rect expected;
  } cases[] = {
      {"no RandR or no primary: the whole root", std::nullopt, 1920, 1080, {0, 0, 1920, 1080}},
      {"one monitor", Rect{0, 0, 1920, 1080}, 1920, 1080, {0, 0, 1920, 1080}},
      {"primary right of a second monitor",
       Rect{1280, 0, 1920, 1080},
       3200,
       1080,
       {1280, 0, 1920, 1080}},
      {"primary below, smaller than the root",
       Rect{0, 1080, 1280, 720},
       1920,
       1800,
       {0, 1080, 1280, 720}},
      {"a CRTC switched off: the whole root", Rect{0, 0, 0, 0}, 1920, 1080, {0, 0, 1920, 1080}},
      {"root shrunk before the CRTC", Rect{0, 0, 1920, 1080}, 1280, 720, {0, 0, 1280, 720}},
      {"CRTC partly left of the root", Rect{-100, 0, 500, 400}, 1920, 1080, {0, 0, 400, 400}},
      {"CRTC off the root", Rect{2000, 0, 800, 600}, 1920, 1080, {}},
      {"a root of no size", std::nullopt, 0, 0, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PrimaryRect(c.crtc, c.rootWidth, c.rootHeight), c.expected) << c.what;
  }
}

TEST(PlanCopy, ScreenFormats_RequestAndConversion) {
  constexpr PixelFormat kBgrx{};
  const struct {
    const char* what;
    PixelFormat format;
    bool sharedMemory;
    std::optional<CopyPlan> expected;
  } cases[] = {
      {"24-bit depth in 32-bit pixels, local", kBgrx, true,
       CopyPlan{CopyRequest::SharedMemory, false}},
      {"the same over the network", kBgrx, false, CopyPlan{CopyRequest::GetImage, false}},
      {"30-bit depth",
       {32, false, 0x3FF00000, 0x000FFC00, 0x000003FF},
       true,
       CopyPlan{CopyRequest::SharedMemory, true}},
      {"RGBX byte order",
       {32, false, 0x0000FF, 0x00FF00, 0xFF0000},
       true,
       CopyPlan{CopyRequest::SharedMemory, true}},
      {"big-endian server",
       {32, true, 0xFF0000, 0x00FF00, 0x0000FF},
       true,
       CopyPlan{CopyRequest::SharedMemory, true}},
      {"16-bit 565",
       {16, false, 0xF800, 0x07E0, 0x001F},
       true,
       CopyPlan{CopyRequest::GetImage, true}},
      {"24-bit packed pixels",
       {24, false, 0xFF0000, 0x00FF00, 0x0000FF},
       true,
       CopyPlan{CopyRequest::GetImage, true}},
      {"8-bit palette", {8, false, 0, 0, 0}, true, std::nullopt},
      {"no pixel format for the depth",
       {0, false, 0xFF0000, 0x00FF00, 0x0000FF},
       true,
       std::nullopt},
      {"a mask with a hole", {32, false, 0xFF00FF, 0x00FF00, 0x0000FF}, true, std::nullopt},
      {"a mask wider than the pixel", {16, false, 0xFF0000, 0x07E0, 0x001F}, true, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(PlanCopy(c.format, c.sharedMemory), c.expected) << c.what;
}

struct Pixel {
  std::uint8_t b, g, r;
};

TEST(ConvertToBgrx, PixelFormats_EightBitChannelsInBgrxOrder) {
  const struct {
    const char* what;
    PixelFormat format;
    std::vector<std::uint8_t> pixel;  // one pixel as the server stores it
    Pixel expected;
  } cases[] = {
      {"565 white", {16, false, 0xF800, 0x07E0, 0x001F}, {0xFF, 0xFF}, {255, 255, 255}},
      {"565 red", {16, false, 0xF800, 0x07E0, 0x001F}, {0x00, 0xF8}, {0, 0, 255}},
      {"565 faintest green, rounded", {16, false, 0xF800, 0x07E0, 0x001F}, {0x20, 0x00}, {0, 4, 0}},
      {"565 blue, big-endian", {16, true, 0xF800, 0x07E0, 0x001F}, {0x00, 0x1F}, {255, 0, 0}},
      {"packed 24-bit",
       {24, false, 0xFF0000, 0x00FF00, 0x0000FF},
       {0x10, 0x20, 0x30},
       {0x10, 0x20, 0x30}},
      {"RGBX",
       {32, false, 0x0000FF, 0x00FF00, 0xFF0000},
       {0x10, 0x20, 0x30, 0x00},
       {0x30, 0x20, 0x10}},
      {"big-endian XRGB",
       {32, true, 0xFF0000, 0x00FF00, 0x0000FF},
       {0x00, 0x11, 0x22, 0x33},
       {0x33, 0x22, 0x11}},
      {"30-bit, top eight bits",
       {32, false, 0x3FF00000, 0x000FFC00, 0x000003FF},
       {0xFF, 0x03, 0x00, 0x00},
       {0xFF, 0x00, 0x00}},
      {"30-bit white",
       {32, false, 0x3FF00000, 0x000FFC00, 0x000003FF},
       {0xFF, 0xFF, 0xFF, 0x3F},
       {0xFF, 0xFF, 0xFF}},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(PlanCopy(c.format, false)) << c.what;
    std::array<std::uint8_t, 4> out{};
    ConvertToBgrx(c.format, c.pixel.data(), static_cast<int>(c.pixel.size()), 1, 1, out.data(), 4);
    EXPECT_EQ(out[0], c.expected.b) << c.what;
    EXPECT_EQ(out[1], c.expected.g) << c.what;
    EXPECT_EQ(out[2], c.expected.r) << c.what;
  }
}

TEST(ConvertToBgrx, RowsWithPadding_EachRowFromItsOwnStart) {
  // Two rows of two 16-bit pixels, each row padded to 8 bytes with junk.
  const PixelFormat f{16, false, 0xF800, 0x07E0, 0x001F};
  const std::uint8_t in[16] = {0x1F, 0x00, 0xE0, 0x07, 0xAA, 0xAA, 0xAA, 0xAA,
                               0x00, 0xF8, 0x00, 0x00, 0xAA, 0xAA, 0xAA, 0xAA};
  std::array<std::uint8_t, 2 * 12> out{};  // rows of 12 bytes: 8 of pixels, 4 untouched
  out.fill(0x55);
  ConvertToBgrx(f, in, 8, 2, 2, out.data(), 12);
  const std::array<std::uint8_t, 24> expected{
      255, 0, 0,   0xFF, 0, 255, 0, 0xFF, 0x55, 0x55, 0x55, 0x55,
      0,   0, 255, 0xFF, 0, 0,   0, 0xFF, 0x55, 0x55, 0x55, 0x55,
  };
  EXPECT_EQ(out, expected);
}

}  // namespace
}  // namespace snapwick::x11
