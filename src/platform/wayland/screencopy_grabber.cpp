#include "platform/wayland/screencopy_grabber.h"

#include <errno.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <utility>

#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

namespace snapwick::wayland {
namespace {

using Clock = std::chrono::steady_clock;

std::optional<PixelLayout> LayoutOf(std::uint32_t format) {
  switch (format) {
    case WL_SHM_FORMAT_XRGB8888:
    case WL_SHM_FORMAT_ARGB8888:
      return PixelLayout::Bgrx;
    case WL_SHM_FORMAT_XBGR8888:
    case WL_SHM_FORMAT_ABGR8888:
      return PixelLayout::Rgbx;
    case WL_SHM_FORMAT_RGBX8888:
    case WL_SHM_FORMAT_RGBA8888:
      return PixelLayout::Xbgr;
    case WL_SHM_FORMAT_BGRX8888:
    case WL_SHM_FORMAT_BGRA8888:
      return PixelLayout::Xrgb;
    default:
      return std::nullopt;
  }
}

struct OutputEntry {
  std::uint32_t globalName = 0;
  std::uint32_t version = 0;
  wl_output* output = nullptr;
  zxdg_output_v1* xdgOutput = nullptr;
  std::string name;
  int x = 0;
  int y = 0;
  bool positioned = false;
};

// The shared memory that the compositor copies into, kept from grab to
// grab.
struct ShmBuffer {
  std::uint32_t format = 0;
  int width = 0;
  int height = 0;
  int stride = 0;
  std::size_t size = 0;
  void* pixels = nullptr;
  wl_buffer* buffer = nullptr;

  bool Matches(std::uint32_t f, int w, int h, int s) const {
    return buffer && format == f && width == w && height == h && stride == s;
  }
  void Release() {
    if (buffer) wl_buffer_destroy(buffer);
    if (pixels) munmap(pixels, size);
    *this = ShmBuffer{};
  }
};

// What the compositor said about one capture.
struct Capture {
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

}  // namespace

struct ScreencopyGrabber::State {
  wl_display* display = nullptr;
  wl_registry* registry = nullptr;
  wl_shm* shm = nullptr;
  zwlr_screencopy_manager_v1* manager = nullptr;
  std::uint32_t managerVersion = 0;
  zxdg_output_manager_v1* xdgManager = nullptr;
  std::vector<std::unique_ptr<OutputEntry>> outputs;
  ShmBuffer buffer;
  std::chrono::milliseconds timeout{500};
  bool outputsChanged = false;

  ~State() {
    buffer.Release();
    for (auto& output : outputs) DestroyOutput(*output);
    if (xdgManager) zxdg_output_manager_v1_destroy(xdgManager);
    if (manager) zwlr_screencopy_manager_v1_destroy(manager);
    if (shm) wl_shm_destroy(shm);
    if (registry) wl_registry_destroy(registry);
    if (display) wl_display_disconnect(display);
  }

  static void DestroyOutput(OutputEntry& entry) {
    if (entry.xdgOutput) zxdg_output_v1_destroy(entry.xdgOutput);
    if (entry.version >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
      wl_output_release(entry.output);
    } else {
      wl_output_destroy(entry.output);
    }
  }

  bool Alive() const { return display && wl_display_get_error(display) == 0; }

  // Reads and handles the compositor's events until done() holds, or the
  // deadline passes, or the connection fails: false then. A zero wait
  // handles what has arrived and returns.
  bool DispatchUntil(const std::function<bool()>& done, Clock::time_point deadline) {
    while (true) {
      if (wl_display_dispatch_pending(display) < 0) return false;
      if (done()) return true;
      while (wl_display_prepare_read(display) != 0) {
        if (wl_display_dispatch_pending(display) < 0) return false;
      }
      bool unsent = false;
      if (wl_display_flush(display) < 0) {
        if (errno != EAGAIN) {
          wl_display_cancel_read(display);
          return false;
        }
        unsent = true;
      }
      // Rounded up, so that the last fraction of a millisecond is waited
      // for rather than spun through.
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      pollfd waiting{wl_display_get_fd(display),
                     static_cast<short>(POLLIN | (unsent ? POLLOUT : 0)), 0};
      const int ready = poll(&waiting, 1, left > 0 ? static_cast<int>(left) : 0);
      if (ready < 0 && errno == EINTR) {
        wl_display_cancel_read(display);
        continue;
      }
      if (ready <= 0 || !(waiting.revents & (POLLIN | POLLERR | POLLHUP))) {
        wl_display_cancel_read(display);
        if (ready < 0 || Clock::now() >= deadline) return false;
        continue;
      }
      if (wl_display_read_events(display) < 0) return false;
    }
  }

  // A round trip: every event the compositor sent before it is handled.
  bool Sync(Clock::time_point deadline) {
    bool done = false;
    wl_callback* callback = wl_display_sync(display);
    static const wl_callback_listener kListener = {
        [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
    wl_callback_add_listener(callback, &kListener, &done);
    const bool ok = DispatchUntil([&done] { return done; }, deadline);
    wl_callback_destroy(callback);
    return ok;
  }

  // Handles what has arrived, without waiting.
  void Drain() {
    DispatchUntil([] { return false; }, Clock::now());
  }

  // Everything the compositor has said so far, including the names and
  // positions of outputs that came meanwhile, which follow their binding.
  void Refresh() {
    if (!Alive()) return;
    const Clock::time_point deadline = Clock::now() + timeout;
    outputsChanged = false;
    if (Sync(deadline) && outputsChanged) Sync(deadline);
  }

  void WatchPosition(OutputEntry& entry) {
    if (!xdgManager || entry.xdgOutput) return;
    entry.xdgOutput = zxdg_output_manager_v1_get_xdg_output(xdgManager, entry.output);
    zxdg_output_v1_add_listener(entry.xdgOutput, &kXdgOutputListener, &entry);
  }

  OutputEntry* Chosen() {
    for (auto& entry : outputs) {
      if (entry->positioned && entry->x == 0 && entry->y == 0) return entry.get();
    }
    return outputs.empty() ? nullptr : outputs.front().get();
  }

  static void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version) {
    auto* state = static_cast<State*>(data);
    const std::string_view kind = interface;
    if (kind == wl_shm_interface.name && !state->shm) {
      state->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (kind == zwlr_screencopy_manager_v1_interface.name && !state->manager) {
      state->managerVersion = std::min<std::uint32_t>(version, 3);
      state->manager = static_cast<zwlr_screencopy_manager_v1*>(wl_registry_bind(
          registry, name, &zwlr_screencopy_manager_v1_interface, state->managerVersion));
    } else if (kind == zxdg_output_manager_v1_interface.name && !state->xdgManager) {
      state->xdgManager = static_cast<zxdg_output_manager_v1*>(wl_registry_bind(
          registry, name, &zxdg_output_manager_v1_interface, std::min<std::uint32_t>(version, 3)));
      for (auto& entry : state->outputs) state->WatchPosition(*entry);
    } else if (kind == wl_output_interface.name) {
      auto entry = std::make_unique<OutputEntry>();
      entry->globalName = name;
      entry->version = std::min<std::uint32_t>(version, 4);
      entry->output = static_cast<wl_output*>(
          wl_registry_bind(registry, name, &wl_output_interface, entry->version));
      wl_output_add_listener(entry->output, &kOutputListener, entry.get());
      state->WatchPosition(*entry);
      state->outputs.push_back(std::move(entry));
      state->outputsChanged = true;
    }
  }

  static void OnGlobalRemove(void* data, wl_registry*, std::uint32_t name) {
    auto* state = static_cast<State*>(data);
    auto& outputs = state->outputs;
    const auto gone = std::find_if(outputs.begin(), outputs.end(),
                                   [name](const auto& entry) { return entry->globalName == name; });
    if (gone == outputs.end()) return;
    DestroyOutput(**gone);
    outputs.erase(gone);
    state->outputsChanged = true;
  }

  static constexpr wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

  // wl_output's name arrives with version 4; xdg-output's with version 2;
  // whichever comes.
  static constexpr wl_output_listener kOutputListener = {
      [](void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
         const char*, const char*, std::int32_t) {},
      [](void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {},
      [](void*, wl_output*) {},
      [](void*, wl_output*, std::int32_t) {},
      [](void* data, wl_output*, const char* name) {
        static_cast<OutputEntry*>(data)->name = name;
      },
      [](void*, wl_output*, const char*) {},
  };

  static constexpr zxdg_output_v1_listener kXdgOutputListener = {
      [](void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
        auto* entry = static_cast<OutputEntry*>(data);
        entry->x = x;
        entry->y = y;
        entry->positioned = true;
      },
      [](void*, zxdg_output_v1*, std::int32_t, std::int32_t) {},
      [](void*, zxdg_output_v1*) {},
      [](void* data, zxdg_output_v1*, const char* name) {
        static_cast<OutputEntry*>(data)->name = name;
      },
      [](void*, zxdg_output_v1*, const char*) {},
  };

  static constexpr zwlr_screencopy_frame_v1_listener kFrameListener = {
      // buffer: the shared-memory buffer the copy needs
      [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t format, std::uint32_t width,
         std::uint32_t height, std::uint32_t stride) {
        auto* capture = static_cast<Capture*>(data);
        capture->offered = true;
        capture->format = format;
        capture->width = static_cast<int>(width);
        capture->height = static_cast<int>(height);
        capture->stride = static_cast<int>(stride);
      },
      [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) {
        static_cast<Capture*>(data)->yInverted = flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
      },
      [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {
        static_cast<Capture*>(data)->ready = true;
      },
      [](void* data, zwlr_screencopy_frame_v1*) { static_cast<Capture*>(data)->failed = true; },
      [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t,
         std::uint32_t) {},
      [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {},
      [](void* data, zwlr_screencopy_frame_v1*) {
        static_cast<Capture*>(data)->buffersDone = true;
      },
  };

  bool EnsureBuffer(const Capture& capture) {
    if (buffer.Matches(capture.format, capture.width, capture.height, capture.stride)) {
      return true;
    }
    buffer.Release();
    if (capture.width <= 0 || capture.height <= 0 || capture.stride < capture.width * 4) {
      return false;
    }
    const std::size_t size =
        static_cast<std::size_t>(capture.stride) * static_cast<std::size_t>(capture.height);
    // A pool's size is a 32-bit number.
    if (size > static_cast<std::size_t>(INT32_MAX)) return false;
    const int fd = memfd_create("snapwick-screen", MFD_CLOEXEC);
    if (fd < 0) return false;
    void* pixels = MAP_FAILED;
    if (ftruncate(fd, static_cast<off_t>(size)) == 0) {
      pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    }
    if (pixels == MAP_FAILED) {
      close(fd);
      return false;
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(size));
    wl_buffer* made = wl_shm_pool_create_buffer(pool, 0, capture.width, capture.height,
                                                capture.stride, capture.format);
    // The buffer keeps the memory; neither the pool nor the descriptor is
    // needed any more.
    wl_shm_pool_destroy(pool);
    close(fd);
    buffer = {capture.format, capture.width, capture.height, capture.stride, size, pixels, made};
    return true;
  }

  enum class CopyResult : std::uint8_t { Copied, Failed, Stuck };

  CopyResult CopyOutput(OutputEntry& output, Capture& capture) {
    const Clock::time_point deadline = Clock::now() + timeout;
    zwlr_screencopy_frame_v1* frame =
        zwlr_screencopy_manager_v1_capture_output(manager, 0, output.output);
    zwlr_screencopy_frame_v1_add_listener(frame, &kFrameListener, &capture);
    // Before version 3 the shared-memory offer is the only one and comes
    // alone; from 3 on buffer_done closes the list of offers.
    const bool listEnds = managerVersion >= 3;
    bool ok = DispatchUntil(
        [&] { return capture.failed || (listEnds ? capture.buffersDone : capture.offered); },
        deadline);
    CopyResult result = ok ? CopyResult::Failed : CopyResult::Stuck;
    if (ok && !capture.failed && capture.offered && LayoutOf(capture.format) &&
        EnsureBuffer(capture)) {
      zwlr_screencopy_frame_v1_copy(frame, buffer.buffer);
      ok = DispatchUntil([&] { return capture.ready || capture.failed; }, deadline);
      result = !ok ? CopyResult::Stuck : capture.ready ? CopyResult::Copied : CopyResult::Failed;
    }
    zwlr_screencopy_frame_v1_destroy(frame);
    return result;
  }
};

ScreencopyGrabber::ScreencopyGrabber(std::unique_ptr<State> state) : state_(std::move(state)) {}
ScreencopyGrabber::~ScreencopyGrabber() = default;

std::unique_ptr<ScreencopyGrabber> ScreencopyGrabber::Connect(const char* display,
                                                              std::chrono::milliseconds timeout) {
  auto state = std::make_unique<State>();
  state->timeout = timeout;
  state->display = wl_display_connect(display);
  if (!state->display) return nullptr;
  state->registry = wl_display_get_registry(state->display);
  wl_registry_add_listener(state->registry, &State::kRegistryListener, state.get());
  // The globals, then what the outputs tell of themselves.
  const Clock::time_point deadline = Clock::now() + timeout;
  if (!state->Sync(deadline) || !state->Sync(deadline)) return nullptr;
  if (!state->shm || !state->manager) return nullptr;
  return std::unique_ptr<ScreencopyGrabber>(new ScreencopyGrabber(std::move(state)));
}

std::optional<Frame> ScreencopyGrabber::Grab() {
  State& state = *state_;
  if (!state.Alive()) return std::nullopt;
  // Outputs that came or went since the last grab.
  state.Drain();
  for (int attempt = 0; attempt < 2; ++attempt) {
    OutputEntry* output = state.Chosen();
    if (!output) return std::nullopt;
    state.outputsChanged = false;
    Capture capture;
    const State::CopyResult result = state.CopyOutput(*output, capture);
    if (result == State::CopyResult::Copied) {
      const ShmBuffer& kept = state.buffer;
      return Frame{static_cast<const std::uint8_t*>(kept.pixels),
                   kept.width,
                   kept.height,
                   kept.stride,
                   *LayoutOf(kept.format),
                   capture.yInverted};
    }
    // An output unplugged just as it was asked for fails its copy: once
    // more with the outputs there are now. Anything else is not retried.
    if (result == State::CopyResult::Stuck || !state.Alive()) return std::nullopt;
    if (!state.Sync(Clock::now() + state.timeout) || !state.outputsChanged) return std::nullopt;
  }
  return std::nullopt;
}

std::vector<ScreencopyGrabber::Output> ScreencopyGrabber::Outputs() {
  state_->Refresh();
  std::vector<Output> outputs;
  for (const auto& entry : state_->outputs) outputs.push_back({entry->name, entry->x, entry->y});
  return outputs;
}

std::string ScreencopyGrabber::ChosenOutput() {
  state_->Refresh();
  const OutputEntry* chosen = state_->Chosen();
  return chosen ? chosen->name : std::string();
}

}  // namespace snapwick::wayland
