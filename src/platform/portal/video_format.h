#pragma once
// What the screen-cast stream accepts from PipeWire and how its buffers
// are read: 32-bit pixels in any of the byte orders compositors send (the
// core's encoder reads all four), in memory PipeWire can map for us (plain
// shared memory or memfd; no DMA-BUF, which would need a GPU to read).

#include <spa/param/video/raw.h>
#include <spa/pod/builder.h>
#include <spa/pod/pod.h>

#include <cstdint>
#include <optional>

#include "form/layout.h"
#include "platform/screen.h"

namespace snapwick::portal {

// BGRx/BGRA → Bgrx, RGBx/RGBA → Rgbx, xRGB/ARGB → Xrgb, xBGR/ABGR → Xbgr;
// nothing for any other format.
std::optional<PixelLayout> LayoutOf(spa_video_format format);

// Shots come one a tick at most: a producer that can send fewer frames is
// asked for no more than that (20 a second).
inline constexpr int kMaxFramesPerSecond = 1000 / layout::kTimerIntervalMs;

// The EnumFormat parameters offered when connecting, in order of
// preference, built into `builder`'s memory: those eight formats at any
// size, first at most kMaxFramesPerSecond (the frame rate and the maximum
// frame rate of a variable-rate producer, as GNOME and KDE are), then at
// any rate, so that a producer whose rate is fixed higher still streams.
struct FormatOffers {
  const spa_pod* capped = nullptr;
  const spa_pod* anyRate = nullptr;
};
FormatOffers OfferedFormats(spa_pod_builder* builder);
// The Buffers parameter answering a negotiated format: mapped memory only,
// and at least two buffers, since the newest picture is held back from
// the producer until a newer one comes and the producer needs another to
// draw into meanwhile.
const spa_pod* WantedBuffers(spa_pod_builder* builder);

struct NegotiatedVideo {
  PixelLayout layout = PixelLayout::Bgrx;
  int width = 0;
  int height = 0;
};
// The negotiated Format parameter read; nothing when it is not raw video
// in one of the offered formats.
std::optional<NegotiatedVideo> ReadFormat(const spa_pod* format);

// Whether a buffer's first chunk holds a whole picture worth copying:
// compositors also send buffers with no picture (a cursor move alone, a
// frame marked corrupted), and a chunk too short for the negotiated size
// would be read past its end.
struct ChunkView {
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  std::int32_t stride = 0;
  bool corrupted = false;
};
bool HoldsPicture(const ChunkView& chunk, std::uint32_t mappedSize, int width, int height);

}  // namespace snapwick::portal
