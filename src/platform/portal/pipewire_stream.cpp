#include "platform/portal/pipewire_stream.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <mutex>

#include "platform/portal/video_format.h"

namespace snapwick::portal {

struct PipeWireStream::Impl {
  PipeWireStream* owner = nullptr;
  pw_thread_loop* loop = nullptr;
  pw_context* context = nullptr;
  pw_core* core = nullptr;
  pw_stream* stream = nullptr;
  spa_hook coreListener{};
  spa_hook streamListener{};
  std::optional<NegotiatedVideo> video;
  bool endReported = false;

  void End() {
    if (endReported) return;
    endReported = true;
    // The stream is over: its buffers, the one held back too, go with it.
    (void)owner->store_.End();
    if (owner->onEnded_) owner->onEnded_();
  }

  static void OnStateChanged(void* data, pw_stream_state /*old*/, pw_stream_state state,
                             const char* /*error*/) {
    auto* self = static_cast<Impl*>(data);
    // Unconnected comes only after a connection: the producer is gone.
    if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) self->End();
  }

  static void OnParamChanged(void* data, uint32_t id, const spa_pod* param) {
    auto* self = static_cast<Impl*>(data);
    if (id != SPA_PARAM_Format || !param) return;
    self->video = ReadFormat(param);
    if (!self->video) return;
    std::array<std::uint8_t, 1024> memory{};
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(memory.data(), memory.size());
    const spa_pod* params[] = {WantedBuffers(&builder)};
    pw_stream_update_params(self->stream, params, 1);
  }

  // The picture a buffer holds, if it holds a whole one of the negotiated
  // format: compositors also send buffers without one.
  std::optional<FrameStore::Picture> PictureOf(const pw_buffer* held) const {
    const spa_buffer* buffer = held->buffer;
    if (!video || buffer->n_datas == 0 || !buffer->datas[0].data || !buffer->datas[0].chunk) {
      return std::nullopt;
    }
    const spa_data& plane = buffer->datas[0];
    const ChunkView chunk{plane.chunk->offset, plane.chunk->size, plane.chunk->stride,
                          (plane.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) != 0};
    if (!HoldsPicture(chunk, plane.maxsize, video->width, video->height)) return std::nullopt;
    return FrameStore::Picture{static_cast<const std::uint8_t*>(plane.data) + chunk.offset,
                               video->width, video->height, chunk.stride, video->layout};
  }

  static void OnProcess(void* data) {
    auto* self = static_cast<Impl*>(data);
    const auto now = std::chrono::steady_clock::now();
    bool awaited = false;
    // Each picture becomes the newest in turn and the one it replaces goes
    // back to the producer; the last stays held until a newer one comes.
    // Nothing is copied here.
    while (pw_buffer* buffer = pw_stream_dequeue_buffer(self->stream)) {
      void* giveBack = buffer;
      if (const auto picture = self->PictureOf(buffer)) {
        const auto offered = self->owner->store_.Offer(*picture, buffer, now);
        giveBack = offered.giveBack;
        awaited = awaited || offered.awaited;
      }
      if (giveBack) pw_stream_queue_buffer(self->stream, static_cast<pw_buffer*>(giveBack));
    }
    if (awaited && self->owner->onFrameAwaited_) self->owner->onFrameAwaited_();
  }

  static void OnRemoveBuffer(void* data, pw_buffer* buffer) {
    // PipeWire unmaps it once this returns (a new format, the stream's
    // end): a grab must not read it any more.
    static_cast<Impl*>(data)->owner->store_.Withdraw(buffer);
  }

  static void OnCoreError(void* data, uint32_t id, int /*seq*/, int /*res*/,
                          const char* /*message*/) {
    // An error of the core itself: the remote is gone.
    if (id == PW_ID_CORE) static_cast<Impl*>(data)->End();
  }

  static const pw_stream_events* StreamEvents() {
    static const pw_stream_events kEvents = [] {
      pw_stream_events e{};
      e.version = PW_VERSION_STREAM_EVENTS;
      e.state_changed = OnStateChanged;
      e.param_changed = OnParamChanged;
      e.process = OnProcess;
      e.remove_buffer = OnRemoveBuffer;
      return e;
    }();
    return &kEvents;
  }

  static const pw_core_events* CoreEvents() {
    static const pw_core_events kEvents = [] {
      pw_core_events e{};
      e.version = PW_VERSION_CORE_EVENTS;
      e.error = OnCoreError;
      return e;
    }();
    return &kEvents;
  }
};

PipeWireStream::PipeWireStream() : impl_(std::make_unique<Impl>()) {
  impl_->owner = this;
  static std::once_flag initialised;
  std::call_once(initialised, [] { pw_init(nullptr, nullptr); });
}

PipeWireStream::~PipeWireStream() {
  if (impl_->loop) pw_thread_loop_stop(impl_->loop);
  // Destroying the stream reports it unconnected: not an end to tell of.
  impl_->endReported = true;
  if (impl_->stream) pw_stream_destroy(impl_->stream);
  if (impl_->core) pw_core_disconnect(impl_->core);
  if (impl_->context) pw_context_destroy(impl_->context);
  if (impl_->loop) pw_thread_loop_destroy(impl_->loop);
}

bool PipeWireStream::Connect(int remoteFd, std::uint32_t node) {
  if (impl_->loop) {
    if (remoteFd >= 0) ::close(remoteFd);
    return false;
  }
  impl_->loop = pw_thread_loop_new("snapwick-cast", nullptr);
  if (!impl_->loop) {
    if (remoteFd >= 0) ::close(remoteFd);
    return false;
  }
  impl_->context = pw_context_new(pw_thread_loop_get_loop(impl_->loop), nullptr, 0);
  if (!impl_->context || pw_thread_loop_start(impl_->loop) < 0) {
    if (remoteFd >= 0) ::close(remoteFd);
    return false;
  }
  pw_thread_loop_lock(impl_->loop);
  // PipeWire takes the descriptor over: it closes it at the disconnection
  // or on an error.
  impl_->core = remoteFd >= 0 ? pw_context_connect_fd(impl_->context, remoteFd, nullptr, 0)
                              : pw_context_connect(impl_->context, nullptr, 0);
  if (impl_->core && remoteFd >= 0) remoteFd_ = remoteFd;
  bool connected = false;
  if (impl_->core) {
    pw_core_add_listener(impl_->core, &impl_->coreListener, Impl::CoreEvents(), impl_.get());
    impl_->stream =
        pw_stream_new(impl_->core, "snapwick",
                      pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                        "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
  }
  if (impl_->stream) {
    pw_stream_add_listener(impl_->stream, &impl_->streamListener, Impl::StreamEvents(),
                           impl_.get());
    std::array<std::uint8_t, 2048> memory{};
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(memory.data(), memory.size());
    const FormatOffers offers = OfferedFormats(&builder);
    const spa_pod* params[] = {offers.capped, offers.anyRate};
    // Not moved to another source when this one goes: the screen is gone,
    // and the stream ends instead of waiting, paused, for a new link.
    connected = pw_stream_connect(impl_->stream, PW_DIRECTION_INPUT, node,
                                  static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT |
                                                               PW_STREAM_FLAG_MAP_BUFFERS |
                                                               PW_STREAM_FLAG_DONT_RECONNECT),
                                  params, 2) == 0;
  }
  pw_thread_loop_unlock(impl_->loop);
  return connected;
}

}  // namespace snapwick::portal
