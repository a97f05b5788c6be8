#include "platform/wayland/capture_connection.h"

#include <errno.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <string_view>
#include <utility>

#include "ext-image-capture-source-v1-client-protocol.h"
#include "ext-image-copy-capture-v1-client-protocol.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

namespace snapwick::wayland {
namespace {

// wl_output's name arrives with version 4; xdg-output's with version 2;
// whichever comes. The transform comes with the geometry.
constexpr wl_output_listener kOutputListener = {
    [](void* data, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
       const char*, const char*, std::int32_t transform) {
      static_cast<OutputEntry*>(data)->transform = static_cast<std::uint32_t>(transform);
    },
    [](void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {},
    [](void*, wl_output*) {},
    [](void*, wl_output*, std::int32_t) {},
    [](void* data, wl_output*, const char* name) { static_cast<OutputEntry*>(data)->name = name; },
    [](void*, wl_output*, const char*) {},
};

constexpr zxdg_output_v1_listener kXdgOutputListener = {
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

template <typename Proxy>
Proxy* Bind(wl_registry* registry, std::uint32_t name, const wl_interface& interface,
            std::uint32_t version) {
  return static_cast<Proxy*>(wl_registry_bind(registry, name, &interface, version));
}

}  // namespace

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

void ShmBuffer::Release() {
  if (buffer) wl_buffer_destroy(buffer);
  if (pixels) munmap(pixels, size);
  *this = ShmBuffer{};
}

const wl_registry_listener CaptureConnection::kRegistryListener = {OnGlobal, OnGlobalRemove};

CaptureConnection::~CaptureConnection() {
  buffer.Release();
  for (auto& output : outputs) DestroyOutput(*output);
  if (xdgManager) zxdg_output_manager_v1_destroy(xdgManager);
  if (outputSources) ext_output_image_capture_source_manager_v1_destroy(outputSources);
  if (imageCopy) ext_image_copy_capture_manager_v1_destroy(imageCopy);
  if (screencopy) zwlr_screencopy_manager_v1_destroy(screencopy);
  if (shm) wl_shm_destroy(shm);
  if (registry) wl_registry_destroy(registry);
  if (display) wl_display_disconnect(display);
}

bool CaptureConnection::Open(const char* name) {
  display = wl_display_connect(name);
  if (!display) return false;
  registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistryListener, this);
  // The globals, then what the outputs tell of themselves.
  const Clock::time_point deadline = Clock::now() + timeout;
  return Sync(deadline) && Sync(deadline);
}

void CaptureConnection::DestroyOutput(OutputEntry& entry) {
  if (entry.xdgOutput) zxdg_output_v1_destroy(entry.xdgOutput);
  if (entry.version >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
    wl_output_release(entry.output);
  } else {
    wl_output_destroy(entry.output);
  }
}

bool CaptureConnection::DispatchUntil(const std::function<bool()>& done,
                                      Clock::time_point deadline) {
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
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd waiting{wl_display_get_fd(display), static_cast<short>(POLLIN | (unsent ? POLLOUT : 0)),
                   0};
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

bool CaptureConnection::Sync(Clock::time_point deadline) {
  bool done = false;
  wl_callback* callback = wl_display_sync(display);
  static const wl_callback_listener kListener = {
      [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
  wl_callback_add_listener(callback, &kListener, &done);
  const bool ok = DispatchUntil([&done] { return done; }, deadline);
  wl_callback_destroy(callback);
  return ok;
}

void CaptureConnection::Refresh() {
  if (!Alive()) return;
  const Clock::time_point deadline = Clock::now() + timeout;
  outputsChanged = false;
  if (Sync(deadline) && outputsChanged) Sync(deadline);
}

void CaptureConnection::WatchPosition(OutputEntry& entry) {
  if (!xdgManager || entry.xdgOutput) return;
  entry.xdgOutput = zxdg_output_manager_v1_get_xdg_output(xdgManager, entry.output);
  zxdg_output_v1_add_listener(entry.xdgOutput, &kXdgOutputListener, &entry);
}

OutputEntry* CaptureConnection::Chosen() {
  for (auto& entry : outputs) {
    if (entry->positioned && entry->x == 0 && entry->y == 0) return entry.get();
  }
  return outputs.empty() ? nullptr : outputs.front().get();
}

void CaptureConnection::OnGlobal(void* data, wl_registry* registry, std::uint32_t name,
                                 const char* interface, std::uint32_t version) {
  auto* self = static_cast<CaptureConnection*>(data);
  const std::string_view kind = interface;
  if (kind == wl_shm_interface.name && !self->shm) {
    self->shm = Bind<wl_shm>(registry, name, wl_shm_interface, 1);
  } else if (kind == zwlr_screencopy_manager_v1_interface.name && !self->screencopy) {
    // Version 3 may offer dma-buf buffers beside shared memory, and ends
    // its offers with buffer_done (wlr_screencopy_copy.cpp waits for it).
    self->screencopyVersion = std::min<std::uint32_t>(version, 3);
    self->screencopy = Bind<zwlr_screencopy_manager_v1>(
        registry, name, zwlr_screencopy_manager_v1_interface, self->screencopyVersion);
  } else if (kind == ext_image_copy_capture_manager_v1_interface.name && !self->imageCopy) {
    self->imageCopy = Bind<ext_image_copy_capture_manager_v1>(
        registry, name, ext_image_copy_capture_manager_v1_interface, 1);
  } else if (kind == ext_output_image_capture_source_manager_v1_interface.name &&
             !self->outputSources) {
    self->outputSources = Bind<ext_output_image_capture_source_manager_v1>(
        registry, name, ext_output_image_capture_source_manager_v1_interface, 1);
  } else if (kind == zxdg_output_manager_v1_interface.name && !self->xdgManager) {
    self->xdgManager = Bind<zxdg_output_manager_v1>(
        registry, name, zxdg_output_manager_v1_interface, std::min<std::uint32_t>(version, 3));
    for (auto& entry : self->outputs) self->WatchPosition(*entry);
  } else if (kind == wl_output_interface.name) {
    auto entry = std::make_unique<OutputEntry>();
    entry->globalName = name;
    entry->version = std::min<std::uint32_t>(version, 4);
    entry->output = Bind<wl_output>(registry, name, wl_output_interface, entry->version);
    wl_output_add_listener(entry->output, &kOutputListener, entry.get());
    self->WatchPosition(*entry);
    self->outputs.push_back(std::move(entry));
    self->outputsChanged = true;
  }
}

void CaptureConnection::OnGlobalRemove(void* data, wl_registry*, std::uint32_t name) {
  auto* self = static_cast<CaptureConnection*>(data);
  auto& outputs = self->outputs;
  const auto gone = std::find_if(outputs.begin(), outputs.end(),
                                 [name](const auto& entry) { return entry->globalName == name; });
  if (gone == outputs.end()) return;
  DestroyOutput(**gone);
  outputs.erase(gone);
  self->outputsChanged = true;
}

bool CaptureConnection::EnsureBuffer(std::uint32_t format, int width, int height, int stride) {
  if (buffer.Matches(format, width, height, stride)) return true;
  buffer.Release();
  if (width <= 0 || height <= 0 || stride < width * 4) return false;
  const std::size_t size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
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
  wl_buffer* made = wl_shm_pool_create_buffer(pool, 0, width, height, stride, format);
  // The buffer keeps the memory; neither the pool nor the descriptor is
  // needed any more.
  wl_shm_pool_destroy(pool);
  close(fd);
  buffer = {format, width, height, stride, size, pixels, made};
  return true;
}

Frame CaptureConnection::BufferFrame(bool bottomUp) const {
  return Frame{static_cast<const std::uint8_t*>(buffer.pixels),
               buffer.width,
               buffer.height,
               buffer.stride,
               LayoutOf(buffer.format).value_or(PixelLayout::Bgrx),
               bottomUp};
}

}  // namespace snapwick::wayland
