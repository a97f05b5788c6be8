#include "platform/portal/video_format.h"

#include <gtest/gtest.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/filter.h>

#include <array>
#include <optional>

namespace snapwick::portal {
namespace {

TEST(VideoFormat, EachOfferedFormatHasTheLayoutOfItsBytes) {
  struct Case {
    spa_video_format format;
    PixelLayout layout;
  };
  // Alpha is padding to a screen shot: BGRA reads as BGRx.
  constexpr Case kCases[] = {
      {SPA_VIDEO_FORMAT_BGRx, PixelLayout::Bgrx}, {SPA_VIDEO_FORMAT_BGRA, PixelLayout::Bgrx},
      {SPA_VIDEO_FORMAT_RGBx, PixelLayout::Rgbx}, {SPA_VIDEO_FORMAT_RGBA, PixelLayout::Rgbx},
      {SPA_VIDEO_FORMAT_xRGB, PixelLayout::Xrgb}, {SPA_VIDEO_FORMAT_ARGB, PixelLayout::Xrgb},
      {SPA_VIDEO_FORMAT_xBGR, PixelLayout::Xbgr}, {SPA_VIDEO_FORMAT_ABGR, PixelLayout::Xbgr}};
  for (const auto& c : kCases) EXPECT_EQ(LayoutOf(c.format), c.layout) << c.format;
  // 24-bit and planar formats are read differently: not taken.
  EXPECT_FALSE(LayoutOf(SPA_VIDEO_FORMAT_RGB));
  EXPECT_FALSE(LayoutOf(SPA_VIDEO_FORMAT_BGR));
  EXPECT_FALSE(LayoutOf(SPA_VIDEO_FORMAT_I420));
  EXPECT_FALSE(LayoutOf(SPA_VIDEO_FORMAT_UNKNOWN));
}

const spa_pod* FixedFormat(spa_pod_builder* builder, spa_video_format format, std::uint32_t width,
                           std::uint32_t height) {
  spa_video_info_raw info{};
  info.format = format;
  info.size = SPA_RECTANGLE(width, height);
  info.framerate = SPA_FRACTION(60, 1);
  return spa_format_video_raw_build(builder, SPA_PARAM_Format, &info);
}

TEST(VideoFormat, ANegotiatedFormatIsReadWithItsSize) {
  std::array<std::uint8_t, 1024> memory{};
  spa_pod_builder builder = SPA_POD_BUILDER_INIT(memory.data(), memory.size());
  const auto video = ReadFormat(FixedFormat(&builder, SPA_VIDEO_FORMAT_BGRA, 1920, 1080));
  ASSERT_TRUE(video);
  EXPECT_EQ(video->layout, PixelLayout::Bgrx);
  EXPECT_EQ(video->width, 1920);
  EXPECT_EQ(video->height, 1080);
}

TEST(VideoFormat, AFormatThatCannotBeReadIsRefused) {
  std::array<std::uint8_t, 1024> memory{};
  spa_pod_builder builder = SPA_POD_BUILDER_INIT(memory.data(), memory.size());
  EXPECT_FALSE(ReadFormat(FixedFormat(&builder, SPA_VIDEO_FORMAT_RGB, 640, 480)));
  EXPECT_FALSE(ReadFormat(FixedFormat(&builder, SPA_VIDEO_FORMAT_xRGB, 0, 480)));
  EXPECT_FALSE(ReadFormat(nullptr));
}

TEST(VideoFormat, BothOffersCarryEveryFormatThatHasALayout) {
  std::array<std::uint8_t, 2048> memory{};
  spa_pod_builder builder = SPA_POD_BUILDER_INIT(memory.data(), memory.size());
  const FormatOffers offers = OfferedFormats(&builder);
  for (const spa_pod* offer : {offers.capped, offers.anyRate}) {
    ASSERT_NE(offer, nullptr);
    const spa_pod_prop* prop = spa_pod_find_prop(offer, nullptr, SPA_FORMAT_VIDEO_format);
    ASSERT_NE(prop, nullptr);
    std::uint32_t count = 0;
    std::uint32_t choice = 0;
    const spa_pod* values = spa_pod_get_values(&prop->value, &count, &choice);
    ASSERT_EQ(choice, static_cast<std::uint32_t>(SPA_CHOICE_Enum));
    const auto* ids = static_cast<const std::uint32_t*>(SPA_POD_BODY_CONST(values));
    int withLayout = 0;
    // The first value of an enum choice is its default, listed again after.
    for (std::uint32_t i = 1; i < count; ++i) {
      if (LayoutOf(static_cast<spa_video_format>(ids[i]))) ++withLayout;
    }
    EXPECT_EQ(withLayout, 8);
    EXPECT_EQ(count, 9u);
  }
}

// What a screen-cast producer offers: BGRx at the monitor's size, a
// variable frame rate (0/1) whose maximum it lets the consumer choose up
// to the monitor's refresh (GNOME's and KDE's way), or a fixed one.
const spa_pod* ProducerFormat(spa_pod_builder* builder, bool variable) {
  spa_rectangle size = SPA_RECTANGLE(1920, 1080);
  spa_fraction none = SPA_FRACTION(0, 1);
  spa_fraction one = SPA_FRACTION(1, 1);
  spa_fraction refresh = SPA_FRACTION(60, 1);
  if (!variable) {
    return static_cast<const spa_pod*>(spa_pod_builder_add_object(
        builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_Id(SPA_VIDEO_FORMAT_BGRx), SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&refresh)));
  }
  return static_cast<const spa_pod*>(spa_pod_builder_add_object(
      builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
      SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
      SPA_FORMAT_VIDEO_format, SPA_POD_Id(SPA_VIDEO_FORMAT_BGRx), SPA_FORMAT_VIDEO_size,
      SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&none),
      SPA_FORMAT_VIDEO_maxFramerate, SPA_POD_CHOICE_RANGE_Fraction(&refresh, &one, &refresh)));
}

// The format PipeWire settles on between a producer and an offer, as it
// links them (the offer filters the producer's, then the defaults are
// taken); nothing when they have none in common.
std::optional<spa_video_info_raw> Settled(const spa_pod* producer, const spa_pod* offer,
                                          spa_pod_builder* builder) {
  spa_pod* result = nullptr;
  if (spa_pod_filter(builder, &result, producer, offer) < 0 || !result) return std::nullopt;
  spa_pod_fixate(result);
  spa_video_info_raw info{};
  if (spa_format_video_raw_parse(result, &info) < 0) return std::nullopt;
  return info;
}

TEST(VideoFormat, AProducerIsAskedForNoMoreFramesThanShotsAndOneOfAFixedRateStillStreams) {
  std::array<std::uint8_t, 8192> memory{};
  spa_pod_builder builder = SPA_POD_BUILDER_INIT(memory.data(), memory.size());
  const FormatOffers offers = OfferedFormats(&builder);
  const auto variable = Settled(ProducerFormat(&builder, true), offers.capped, &builder);
  ASSERT_TRUE(variable);
  EXPECT_EQ(variable->max_framerate.num, static_cast<std::uint32_t>(kMaxFramesPerSecond));
  EXPECT_EQ(variable->max_framerate.denom, 1u);
  EXPECT_EQ(variable->framerate.num, 0u);
  EXPECT_EQ(variable->size.width, 1920u);
  // A producer whose rate is fixed above the cap: the second offer.
  const spa_pod* fixed = ProducerFormat(&builder, false);
  EXPECT_FALSE(Settled(fixed, offers.capped, &builder));
  const auto anyRate = Settled(fixed, offers.anyRate, &builder);
  ASSERT_TRUE(anyRate);
  EXPECT_EQ(anyRate->framerate.num, 60u);
}

TEST(VideoFormat, OnlyABufferWithAWholePictureIsCopied) {
  constexpr int kWidth = 100;
  constexpr int kHeight = 10;
  constexpr std::uint32_t kStride = 400;
  constexpr std::uint32_t kMapped = kStride * kHeight;
  EXPECT_TRUE(HoldsPicture({0, kMapped, kStride, false}, kMapped, kWidth, kHeight));
  // Padded rows: the last one needs only the width.
  EXPECT_TRUE(HoldsPicture({0, 512 * 9 + 400, 512, false}, 512 * 9 + 400, kWidth, kHeight));
  // A cursor-only update, a corrupted frame, no data.
  EXPECT_FALSE(HoldsPicture({0, 0, kStride, false}, kMapped, kWidth, kHeight));
  EXPECT_FALSE(HoldsPicture({0, kMapped, kStride, true}, kMapped, kWidth, kHeight));
  // Rows too short for the width, or a picture past the mapped memory.
  EXPECT_FALSE(HoldsPicture({0, kMapped, 396, false}, kMapped, kWidth, kHeight));
  EXPECT_FALSE(HoldsPicture({4, kMapped, kStride, false}, kMapped, kWidth, kHeight));
  EXPECT_FALSE(HoldsPicture({0, kMapped - 1, kStride, false}, kMapped, kWidth, kHeight));
  EXPECT_FALSE(HoldsPicture({0, kMapped, -400, false}, kMapped, kWidth, kHeight));
}

}  // namespace
}  // namespace snapwick::portal
