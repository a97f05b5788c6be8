#include "platform/linux/sound_player.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/sample.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/files_posix.h"
#include "platform/linux/wav.h"

namespace snapwick::linux {
namespace {

// Sounds are short effects; a larger file is not read whole.
constexpr std::int64_t kMaxFileBytes = 16 * 1024 * 1024;
constexpr char kClientName[] = "Snapwick";
constexpr char kStreamName[] = "Snapwick sound";
// A shutter sound is heard when the shot is taken or not at all: the
// stream asks for a short buffer, and so for a short way to the speaker.
constexpr pa_usec_t kLatencyUsec = 40 * 1000;

pa_sample_format_t PulseFormatOf(SampleEncoding e) {
  switch (e) {
    case SampleEncoding::Unsigned8:
      return PA_SAMPLE_U8;
    case SampleEncoding::Signed16:
      return PA_SAMPLE_S16LE;
    case SampleEncoding::Signed24:
      return PA_SAMPLE_S24LE;
    case SampleEncoding::Signed32:
      return PA_SAMPLE_S32LE;
    case SampleEncoding::Float32:
      return PA_SAMPLE_FLOAT32LE;
    case SampleEncoding::ALaw:
      return PA_SAMPLE_ALAW;
    case SampleEncoding::MuLaw:
      return PA_SAMPLE_ULAW;
  }
  return PA_SAMPLE_INVALID;
}

struct Sound {
  pa_sample_spec sampleFormat{};
  std::vector<std::uint8_t> samples;
};

std::optional<Sound> LoadSound(std::string_view path) {
  const auto head = ReadFile(path, {});
  if (!head || head->length > kMaxFileBytes) return std::nullopt;
  std::vector<std::uint8_t> file(static_cast<std::size_t>(head->length));
  const auto read = ReadFile(path, file);
  if (!read) return std::nullopt;
  file.resize(read->read);
  const auto wav = ParseWav(file);
  if (!wav) return std::nullopt;
  Sound sound;
  sound.sampleFormat.format = PulseFormatOf(wav->encoding);
  sound.sampleFormat.rate = wav->rate;
  sound.sampleFormat.channels = static_cast<std::uint8_t>(wav->channels);
  if (!pa_sample_spec_valid(&sound.sampleFormat)) return std::nullopt;
  const auto begin = file.begin() + static_cast<std::ptrdiff_t>(wav->dataOffset);
  sound.samples.assign(begin, begin + static_cast<std::ptrdiff_t>(wav->dataSize));
  return sound;
}

}  // namespace

// Everything in here but the constructor and the destructor runs either on
// the sound thread or with its lock held.
struct SoundPlayer::Loop {
  Loop() : mainloop(pa_threaded_mainloop_new()) {
    if (mainloop && pa_threaded_mainloop_start(mainloop) != 0) {
      pa_threaded_mainloop_free(mainloop);
      mainloop = nullptr;
    }
  }
  ~Loop() {
    if (!mainloop) return;
    pa_threaded_mainloop_lock(mainloop);
    DropStream();
    DropContext();
    pa_threaded_mainloop_unlock(mainloop);
    pa_threaded_mainloop_stop(mainloop);
    pa_threaded_mainloop_free(mainloop);
  }
  Loop(const Loop&) = delete;
  Loop& operator=(const Loop&) = delete;

  // With the lock held.
  void Play(Sound sound) {
    pending = std::move(sound);
    if (context && pa_context_get_state(context) == PA_CONTEXT_READY) {
      StartPending();
      return;
    }
    Connect();
  }

  // With the lock held. Starts connecting unless a connection is made or
  // under way; a lost one (the server restarted) is tried afresh, so that a
  // server started after the program is found.
  void Connect() {
    if (context && PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) return;
    DropContext();
    context = pa_context_new(pa_threaded_mainloop_get_api(mainloop), kClientName);
    if (!context) return;
    pa_context_set_state_callback(context, &Loop::OnContextState, this);
    // No server of our own: a screenshot tool must not start one, and a
    // failed start would print to the terminal.
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
      DropContext();
      pending.reset();
    }
  }

  void StartPending() {
    if (!pending) return;
    DropStream();
    Sound sound = std::move(*pending);
    pending.reset();
    stream = pa_stream_new(context, kStreamName, &sound.sampleFormat, nullptr);
    if (!stream) return;
    samples = std::move(sound.samples);
    written = 0;
    pa_stream_set_write_callback(stream, &Loop::OnWritable, this);
    pa_stream_set_state_callback(stream, &Loop::OnStreamState, this);
    pa_buffer_attr buffer{};
    buffer.maxlength = static_cast<std::uint32_t>(-1);
    buffer.tlength =
        static_cast<std::uint32_t>(pa_usec_to_bytes(kLatencyUsec, &sound.sampleFormat));
    buffer.prebuf = static_cast<std::uint32_t>(-1);
    buffer.minreq = static_cast<std::uint32_t>(-1);
    buffer.fragsize = static_cast<std::uint32_t>(-1);
    if (pa_stream_connect_playback(stream, nullptr, &buffer, PA_STREAM_ADJUST_LATENCY, nullptr,
                                   nullptr) < 0) {
      DropStream();
    }
  }

  void DropStream() {
    if (!stream) return;
    pa_stream_set_write_callback(stream, nullptr, nullptr);
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    stream = nullptr;
    samples.clear();
  }

  void DropContext() {
    DropStream();
    if (!context) return;
    pa_context_set_state_callback(context, nullptr, nullptr);
    if (PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) pa_context_disconnect(context);
    pa_context_unref(context);
    context = nullptr;
  }

  static void OnContextState(pa_context* c, void* self) {
    auto* loop = static_cast<Loop*>(self);
    const pa_context_state_t state = pa_context_get_state(c);
    if (state == PA_CONTEXT_READY) {
      loop->StartPending();
    } else if (!PA_CONTEXT_IS_GOOD(state)) {
      // No server: the sound is dropped, quietly; the next one tries again.
      loop->pending.reset();
      loop->DropStream();
    }
  }

  static void OnWritable(pa_stream* s, std::size_t bytes, void* self) {
    auto* loop = static_cast<Loop*>(self);
    const std::size_t left = loop->samples.size() - loop->written;
    const std::size_t now = std::min(bytes, left);
    if (now > 0) {
      // Copied by the library: no free callback.
      pa_stream_write(s, loop->samples.data() + loop->written, now, nullptr, 0, PA_SEEK_RELATIVE);
      loop->written += now;
    }
    if (loop->written == loop->samples.size()) {
      pa_stream_set_write_callback(s, nullptr, nullptr);
      // Also starts a sound shorter than the server's start threshold.
      if (pa_operation* drained = pa_stream_drain(s, &Loop::OnDrained, self)) {
        pa_operation_unref(drained);
      }
    }
  }

  static void OnDrained(pa_stream* s, int, void* self) {
    auto* loop = static_cast<Loop*>(self);
    if (s == loop->stream) loop->DropStream();
  }

  static void OnStreamState(pa_stream* s, void* self) {
    auto* loop = static_cast<Loop*>(self);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s)) && s == loop->stream) loop->DropStream();
  }

  pa_threaded_mainloop* mainloop = nullptr;
  pa_context* context = nullptr;
  pa_stream* stream = nullptr;
  std::optional<Sound> pending;
  std::vector<std::uint8_t> samples;  // of the stream that plays
  std::size_t written = 0;
};

SoundPlayer::SoundPlayer() : loop_(std::make_unique<Loop>()) {
  // Connected from the start, so that the first shutter is heard with the
  // first shot: a connection still being made when a second shot comes 50 ms
  // later would keep only the second one's sound.
  if (!loop_->mainloop) return;
  pa_threaded_mainloop_lock(loop_->mainloop);
  loop_->Connect();
  pa_threaded_mainloop_unlock(loop_->mainloop);
}

SoundPlayer::~SoundPlayer() = default;

Status SoundPlayer::Play(std::string_view path) {
  auto sound = LoadSound(path);
  if (!sound) return Status::Failed;
  if (!loop_->mainloop) return Status::Failed;
  pa_threaded_mainloop_lock(loop_->mainloop);
  loop_->Play(std::move(*sound));
  pa_threaded_mainloop_unlock(loop_->mainloop);
  return Status::Ok;
}

}  // namespace snapwick::linux
