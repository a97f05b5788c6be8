#include "platform/wayland/ext_image_copy.h"

#include "ext-image-capture-source-v1-client-protocol.h"
#include "ext-image-copy-capture-v1-client-protocol.h"

namespace snapwick::wayland {
namespace {

// A batch of buffer constraints, closed by done; a later batch (a new
// size) replaces it.
struct Constraints {
  int width = 0;
  int height = 0;
  std::uint32_t format = 0;
  bool usable = false;  // a shared-memory format of 8 bits a channel
};

// One capture session, for one copy: a session's later frames may wait
// until the output's picture changes (the protocol allows an indefinite
// wait, and sway 1.12 waits), so a still screen would give no second shot;
// a new session's first frame comes at once.
struct Session {
  ext_image_copy_capture_session_v1* session = nullptr;
  Constraints coming;
  Constraints current;
  int batches = 0;
  bool stopped = false;

  explicit Session(ext_image_copy_capture_session_v1* made);
  ~Session() { ext_image_copy_capture_session_v1_destroy(session); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
};

constexpr ext_image_copy_capture_session_v1_listener kSessionListener = {
    [](void* data, ext_image_copy_capture_session_v1*, std::uint32_t width, std::uint32_t height) {
      Constraints& coming = static_cast<Session*>(data)->coming;
      coming.width = static_cast<int>(width);
      coming.height = static_cast<int>(height);
    },
    [](void* data, ext_image_copy_capture_session_v1*, std::uint32_t format) {
      Constraints& coming = static_cast<Session*>(data)->coming;
      if (!coming.usable && LayoutOf(format)) {
        coming.format = format;
        coming.usable = true;
      }
    },
    // dmabuf_device, dmabuf_format: a dma-buf is not taken
    [](void*, ext_image_copy_capture_session_v1*, wl_array*) {},
    [](void*, ext_image_copy_capture_session_v1*, std::uint32_t, wl_array*) {},
    [](void* data, ext_image_copy_capture_session_v1*) {
      auto* session = static_cast<Session*>(data);
      session->current = session->coming;
      session->coming = Constraints{};
      ++session->batches;
    },
    [](void* data, ext_image_copy_capture_session_v1*) {
      static_cast<Session*>(data)->stopped = true;
    },
};

Session::Session(ext_image_copy_capture_session_v1* made) : session(made) {
  ext_image_copy_capture_session_v1_add_listener(session, &kSessionListener, this);
}

struct FrameState {
  bool ready = false;
  bool failed = false;
  std::uint32_t reason = 0;
  std::uint32_t transform = 0;
};

constexpr ext_image_copy_capture_frame_v1_listener kFrameListener = {
    [](void* data, ext_image_copy_capture_frame_v1*, std::uint32_t transform) {
      static_cast<FrameState*>(data)->transform = transform;
    },
    // damage, presentation_time
    [](void*, ext_image_copy_capture_frame_v1*, std::int32_t, std::int32_t, std::int32_t,
       std::int32_t) {},
    [](void*, ext_image_copy_capture_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {},
    [](void* data, ext_image_copy_capture_frame_v1*) {
      static_cast<FrameState*>(data)->ready = true;
    },
    [](void* data, ext_image_copy_capture_frame_v1*, std::uint32_t reason) {
      auto* frame = static_cast<FrameState*>(data);
      frame->failed = true;
      frame->reason = reason;
    },
};

}  // namespace

void ExtImageCopy::DropSource() {
  if (source_) ext_image_capture_source_v1_destroy(source_);
  source_ = nullptr;
}

CopyResult ExtImageCopy::Copy(OutputEntry& output, std::uint32_t& transform) {
  const Clock::time_point deadline = Clock::now() + connection_.timeout;
  if (source_ && sourceOutput_ != output.globalName) DropSource();
  if (!source_) {
    source_ = ext_output_image_capture_source_manager_v1_create_source(connection_.outputSources,
                                                                       output.output);
    sourceOutput_ = output.globalName;
  }
  // A size that changes between the constraints and the copy fails the
  // frame with buffer_constraints: once more, with a new session's.
  for (int attempt = 0; attempt < 2; ++attempt) {
    // No pointer on the picture, as with wlr-screencopy.
    Session session(
        ext_image_copy_capture_manager_v1_create_session(connection_.imageCopy, source_, 0));
    if (!connection_.DispatchUntil([&] { return session.batches > 0 || session.stopped; },
                                   deadline)) {
      return CopyResult::Stuck;
    }
    const Constraints& wanted = session.current;
    if (session.stopped || !wanted.usable ||
        !connection_.EnsureBuffer(wanted.format, wanted.width, wanted.height, wanted.width * 4)) {
      // Stopped: the output has gone, or the compositor will not let it be
      // copied; a new source next time.
      if (session.stopped) DropSource();
      return CopyResult::Failed;
    }
    FrameState state;
    ext_image_copy_capture_frame_v1* frame =
        ext_image_copy_capture_session_v1_create_frame(session.session);
    ext_image_copy_capture_frame_v1_add_listener(frame, &kFrameListener, &state);
    ext_image_copy_capture_frame_v1_attach_buffer(frame, connection_.buffer.buffer);
    ext_image_copy_capture_frame_v1_damage_buffer(frame, 0, 0, wanted.width, wanted.height);
    ext_image_copy_capture_frame_v1_capture(frame);
    const bool ok =
        connection_.DispatchUntil([&] { return state.ready || state.failed; }, deadline);
    ext_image_copy_capture_frame_v1_destroy(frame);
    if (!ok) return CopyResult::Stuck;
    if (state.ready) {
      transform = state.transform;
      return CopyResult::Copied;
    }
    if (state.reason == EXT_IMAGE_COPY_CAPTURE_FRAME_V1_FAILURE_REASON_STOPPED) DropSource();
    if (state.reason != EXT_IMAGE_COPY_CAPTURE_FRAME_V1_FAILURE_REASON_BUFFER_CONSTRAINTS) break;
  }
  return CopyResult::Failed;
}

}  // namespace snapwick::wayland
