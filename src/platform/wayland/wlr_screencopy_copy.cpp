#include "platform/wayland/wlr_screencopy_copy.h"

#include "wlr-screencopy-unstable-v1-client-protocol.h"

namespace snapwick::wayland {
namespace {

// What the compositor said about one frame it was asked to copy.
struct FrameEvents {
  bool offered = false;
  std::uint32_t format = 0;
  int width = 0;
  int height = 0;
  int stride = 0;
  bool buffersDone = false;
  bool yInverted = false;
  bool ready = false;
  bool failed = false;
};

constexpr zwlr_screencopy_frame_v1_listener kFrameListener = {
    // buffer: the shared-memory buffer the copy needs
    [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t format, std::uint32_t width,
       std::uint32_t height, std::uint32_t stride) {
      auto* events = static_cast<FrameEvents*>(data);
      events->offered = true;
      events->format = format;
      events->width = static_cast<int>(width);
      events->height = static_cast<int>(height);
      events->stride = static_cast<int>(stride);
    },
    [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) {
      static_cast<FrameEvents*>(data)->yInverted = flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
    },
    [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {
      static_cast<FrameEvents*>(data)->ready = true;
    },
    [](void* data, zwlr_screencopy_frame_v1*) { static_cast<FrameEvents*>(data)->failed = true; },
    // damage, linux_dmabuf (a dma-buf offer is not taken)
    [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t,
       std::uint32_t) {},
    [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {},
    [](void* data, zwlr_screencopy_frame_v1*) {
      static_cast<FrameEvents*>(data)->buffersDone = true;
    },
};

}  // namespace

CopyResult CopyWithScreencopy(CaptureConnection& connection, OutputEntry& output, bool& bottomUp) {
  const Clock::time_point deadline = Clock::now() + connection.timeout;
  FrameEvents events;
  zwlr_screencopy_frame_v1* frame =
      zwlr_screencopy_manager_v1_capture_output(connection.screencopy, 0, output.output);
  zwlr_screencopy_frame_v1_add_listener(frame, &kFrameListener, &events);
  // The manager is bound at version 3 where offered (capture_connection.cpp).
  // Before version 3 the shared-memory offer is the only one and comes
  // alone; from 3 on a dma-buf offer may follow it, and buffer_done closes
  // the list: the copy is asked for only after buffer_done.
  const bool listEnds = connection.screencopyVersion >= 3;
  bool ok = connection.DispatchUntil(
      [&] { return events.failed || (listEnds ? events.buffersDone : events.offered); }, deadline);
  CopyResult result = ok ? CopyResult::Failed : CopyResult::Stuck;
  if (ok && !events.failed && events.offered && LayoutOf(events.format) &&
      connection.EnsureBuffer(events.format, events.width, events.height, events.stride)) {
    zwlr_screencopy_frame_v1_copy(frame, connection.buffer.buffer);
    ok = connection.DispatchUntil([&] { return events.ready || events.failed; }, deadline);
    result = !ok ? CopyResult::Stuck : events.ready ? CopyResult::Copied : CopyResult::Failed;
  }
  zwlr_screencopy_frame_v1_destroy(frame);
  bottomUp = events.yInverted;
  return result;
}

}  // namespace snapwick::wayland
