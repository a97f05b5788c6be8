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

#include "platform/screen.h"

namespace snapwick::portal {

// BGRx/BGRA → Bgrx, RGBx/RGBA → Rgbx, xRGB/ARGB → Xrgb, xBGR/ABGR → Xbgr;
// nothing for any other format.
std::optional<PixelLayout> LayoutOf(spa_video_format format);

// The EnumFormat parameter offered when connecting: those eight formats,
// any size, any frame rate. Built into `builder`'s memory.
const spa_pod* OfferedFormats(spa_pod_builder* builder);
// The Buffers parameter answering a negotiated format: mapped memory only.
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
