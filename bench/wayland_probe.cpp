// The least a screenshot can cost on a wlroots compositor, as the yardstick
// for the program's shot there: the first output copied through
// wlr-screencopy into shared memory, one TurboJPEG call (4:2:0), one
// write. Everything that can be made once (the connection, the buffer, the
// compressor, the output buffer) is made before the first shot. Shares no
// code with the program.
//
//   snapwick_bench_wayland_probe OUT_DIR QUALITY
//
// Prints "ready" once set up; then each byte read on stdin makes one shot,
// OUT_DIR/probe-N.jpg, and prints "shot N COPY_MS TOTAL_MS". Ends at the
// end of stdin.

#include <fcntl.h>
#include <sys/mman.h>
#include <turbojpeg.h>
#include <unistd.h>
#include <wayland-client.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "wlr-screencopy-unstable-v1-client-protocol.h"

namespace {

struct Probe {
  wl_shm* shm = nullptr;
  wl_output* output = nullptr;
  zwlr_screencopy_manager_v1* manager = nullptr;
  // the frame being copied
  std::uint32_t format = 0;
  int width = 0, height = 0, stride = 0;
  bool offered = false, done = false, ready = false, failed = false;
};

void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t version) {
  auto* probe = static_cast<Probe*>(data);
  if (std::strcmp(interface, wl_shm_interface.name) == 0) {
    probe->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
  } else if (std::strcmp(interface, wl_output_interface.name) == 0 && !probe->output) {
    probe->output =
        static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 1));
  } else if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0) {
    probe->manager = static_cast<zwlr_screencopy_manager_v1*>(wl_registry_bind(
        registry, name, &zwlr_screencopy_manager_v1_interface, version < 3 ? version : 3));
  }
}

void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistry = {OnGlobal, OnGlobalRemove};

const zwlr_screencopy_frame_v1_listener kFrame = {
    [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t format, std::uint32_t width,
       std::uint32_t height, std::uint32_t stride) {
      auto* probe = static_cast<Probe*>(data);
      probe->format = format;
      probe->width = static_cast<int>(width);
      probe->height = static_cast<int>(height);
      probe->stride = static_cast<int>(stride);
      probe->offered = true;
    },
    [](void*, zwlr_screencopy_frame_v1*, std::uint32_t) {},
    [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {
      static_cast<Probe*>(data)->ready = true;
    },
    [](void* data, zwlr_screencopy_frame_v1*) { static_cast<Probe*>(data)->failed = true; },
    [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t,
       std::uint32_t) {},
    [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {},
    [](void* data, zwlr_screencopy_frame_v1*) { static_cast<Probe*>(data)->done = true; },
};

double MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s OUT_DIR QUALITY\n", argv[0]);
    return 2;
  }
  const std::string outDir = argv[1];
  const int quality = std::atoi(argv[2]);

  wl_display* display = wl_display_connect(nullptr);
  if (!display) {
    std::fprintf(stderr, "probe: no Wayland display\n");
    return 1;
  }
  Probe probe;
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistry, &probe);
  wl_display_roundtrip(display);
  if (!probe.shm || !probe.output || !probe.manager) {
    std::fprintf(stderr, "probe: no output, shared memory or screencopy\n");
    return 1;
  }

  // The buffer the compositor asks for, made with a first frame.
  zwlr_screencopy_frame_v1* frame =
      zwlr_screencopy_manager_v1_capture_output(probe.manager, 0, probe.output);
  zwlr_screencopy_frame_v1_add_listener(frame, &kFrame, &probe);
  while (!probe.done && !probe.failed && wl_display_dispatch(display) >= 0) {
  }
  zwlr_screencopy_frame_v1_destroy(frame);
  if (!probe.offered || probe.format != WL_SHM_FORMAT_XRGB8888) {
    std::fprintf(stderr, "probe: the compositor offers no XRGB8888 buffer\n");
    return 1;
  }
  const std::size_t size = static_cast<std::size_t>(probe.stride) * probe.height;
  const int fd = memfd_create("probe", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) return 1;
  auto* pixels =
      static_cast<unsigned char*>(mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
  wl_shm_pool* pool = wl_shm_create_pool(probe.shm, fd, static_cast<std::int32_t>(size));
  wl_buffer* buffer =
      wl_shm_pool_create_buffer(pool, 0, probe.width, probe.height, probe.stride, probe.format);
  wl_shm_pool_destroy(pool);
  close(fd);

  tjhandle compressor = tjInitCompress();
  const unsigned long capacity = tjBufSize(probe.width, probe.height, TJSAMP_420);
  unsigned char* jpeg = tjAlloc(static_cast<int>(capacity));
  std::printf("ready %d %d\n", probe.width, probe.height);
  std::fflush(stdout);

  int status = 0;
  char byte = 0;
  for (int n = 1; read(STDIN_FILENO, &byte, 1) == 1; ++n) {
    const auto start = std::chrono::steady_clock::now();
    probe.ready = probe.failed = probe.done = false;
    frame = zwlr_screencopy_manager_v1_capture_output(probe.manager, 0, probe.output);
    zwlr_screencopy_frame_v1_add_listener(frame, &kFrame, &probe);
    zwlr_screencopy_frame_v1_copy(frame, buffer);
    while (!probe.ready && !probe.failed && wl_display_dispatch(display) >= 0) {
    }
    zwlr_screencopy_frame_v1_destroy(frame);
    const double copyMs = MsSince(start);
    if (!probe.ready) {
      status = 1;
      break;
    }
    unsigned long jpegSize = capacity;
    if (tjCompress2(compressor, pixels, probe.width, probe.stride, probe.height, TJPF_BGRX, &jpeg,
                    &jpegSize, TJSAMP_420, quality, TJFLAG_NOREALLOC) != 0) {
      status = 1;
      break;
    }
    const std::string path = outDir + "/probe-" + std::to_string(n) + ".jpg";
    const int out = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0 || write(out, jpeg, jpegSize) != static_cast<ssize_t>(jpegSize) ||
        close(out) != 0) {
      status = 1;
      break;
    }
    std::printf("shot %d %.3f %.3f\n", n, copyMs, MsSince(start));
    std::fflush(stdout);
  }
  tjFree(jpeg);
  tjDestroy(compressor);
  wl_buffer_destroy(buffer);
  munmap(pixels, size);
  zwlr_screencopy_manager_v1_destroy(probe.manager);
  wl_output_destroy(probe.output);
  wl_shm_destroy(probe.shm);
  wl_registry_destroy(registry);
  wl_display_disconnect(display);
  return status;
}
