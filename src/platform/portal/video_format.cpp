#include "platform/portal/video_format.h"

#include <spa/buffer/buffer.h>
#include <spa/param/buffers.h>
#include <spa/param/format-utils.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

namespace snapwick::portal {

std::optional<PixelLayout> LayoutOf(spa_video_format format) {
  switch (format) {
    case SPA_VIDEO_FORMAT_BGRx:
    case SPA_VIDEO_FORMAT_BGRA:
      return PixelLayout::Bgrx;
    case SPA_VIDEO_FORMAT_RGBx:
    case SPA_VIDEO_FORMAT_RGBA:
      return PixelLayout::Rgbx;
    case SPA_VIDEO_FORMAT_xRGB:
    case SPA_VIDEO_FORMAT_ARGB:
      return PixelLayout::Xrgb;
    case SPA_VIDEO_FORMAT_xBGR:
    case SPA_VIDEO_FORMAT_ABGR:
      return PixelLayout::Xbgr;
    default:
      return std::nullopt;
  }
}

namespace {

// Raw video in any of the eight formats, at any size, at a frame rate up
// to `rate`; with `capMax`, a variable rate's maximum up to `rate` too.
// PipeWire's own macros build the pod; they are C and need its types.
const spa_pod* VideoFormat(spa_pod_builder* builder, spa_fraction rate, bool capMax) {
  spa_rectangle defaultSize = SPA_RECTANGLE(1920, 1080);
  spa_rectangle minSize = SPA_RECTANGLE(1, 1);
  spa_rectangle maxSize = SPA_RECTANGLE(16384, 16384);
  spa_fraction noRate = SPA_FRACTION(0, 1);
  spa_fraction defaultRate = SPA_FRACTION(kMaxFramesPerSecond, 1);
  spa_pod_frame frame{};
  spa_pod_builder_push_object(builder, &frame, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
  spa_pod_builder_add(
      builder, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
      SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
      SPA_POD_CHOICE_ENUM_Id(9, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_RGBx,
                             SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBA, SPA_VIDEO_FORMAT_xRGB,
                             SPA_VIDEO_FORMAT_xBGR, SPA_VIDEO_FORMAT_ARGB, SPA_VIDEO_FORMAT_ABGR),
      SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &minSize, &maxSize),
      SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&defaultRate, &noRate, &rate), 0);
  if (capMax) {
    spa_fraction oneARate = SPA_FRACTION(1, 1);
    spa_pod_builder_add(builder, SPA_FORMAT_VIDEO_maxFramerate,
                        SPA_POD_CHOICE_RANGE_Fraction(&rate, &oneARate, &rate), 0);
  }
  return static_cast<const spa_pod*>(spa_pod_builder_pop(builder, &frame));
}

}  // namespace

FormatOffers OfferedFormats(spa_pod_builder* builder) {
  FormatOffers offers;
  offers.capped = VideoFormat(builder, SPA_FRACTION(kMaxFramesPerSecond, 1), true);
  offers.anyRate = VideoFormat(builder, SPA_FRACTION(1000, 1), false);
  return offers;
}

const spa_pod* WantedBuffers(spa_pod_builder* builder) {
  return static_cast<const spa_pod*>(spa_pod_builder_add_object(
      builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
      SPA_POD_CHOICE_RANGE_Int(4, 2, 16), SPA_PARAM_BUFFERS_dataType,
      SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
}

std::optional<NegotiatedVideo> ReadFormat(const spa_pod* format) {
  if (!format) return std::nullopt;
  std::uint32_t mediaType = 0;
  std::uint32_t mediaSubtype = 0;
  if (spa_format_parse(format, &mediaType, &mediaSubtype) < 0 ||
      mediaType != SPA_MEDIA_TYPE_video || mediaSubtype != SPA_MEDIA_SUBTYPE_raw) {
    return std::nullopt;
  }
  spa_video_info_raw info{};
  if (spa_format_video_raw_parse(format, &info) < 0) return std::nullopt;
  const auto layout = LayoutOf(info.format);
  if (!layout || info.size.width == 0 || info.size.height == 0) return std::nullopt;
  return NegotiatedVideo{*layout, static_cast<int>(info.size.width),
                         static_cast<int>(info.size.height)};
}

bool HoldsPicture(const ChunkView& chunk, std::uint32_t mappedSize, int width, int height) {
  if (chunk.corrupted || chunk.size == 0 || width <= 0 || height <= 0) return false;
  if (chunk.stride < width * 4) return false;
  const auto needed =
      static_cast<std::uint64_t>(chunk.stride) * static_cast<std::uint64_t>(height - 1) +
      static_cast<std::uint64_t>(width) * 4;
  return static_cast<std::uint64_t>(chunk.offset) + needed <= mappedSize && needed <= chunk.size;
}

}  // namespace snapwick::portal
