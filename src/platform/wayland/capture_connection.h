#pragma once
// The screen copy's own Wayland connection: the globals it binds, the
// outputs as the compositor announces them, the shared-memory buffer that
// the compositor copies into, and waiting for the compositor's events with
// a deadline. The copy protocols (wlr_screencopy_copy.h,
// ext_image_copy.h) work over it.

#include <wayland-client.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/screen.h"

struct ext_image_copy_capture_manager_v1;
struct ext_output_image_capture_source_manager_v1;
struct zwlr_screencopy_manager_v1;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;

namespace snapwick::wayland {

using Clock = std::chrono::steady_clock;

// How the four bytes of a wl_shm format of 8 bits a channel lie in memory;
// nothing for any other format.
std::optional<PixelLayout> LayoutOf(std::uint32_t format);

struct OutputEntry {
  std::uint32_t globalName = 0;
  std::uint32_t version = 0;
  wl_output* output = nullptr;
  zxdg_output_v1* xdgOutput = nullptr;
  std::string name;
  int x = 0;
  int y = 0;
  bool positioned = false;
  // How the output turns its buffer to show it (wl_output_transform).
  std::uint32_t transform = WL_OUTPUT_TRANSFORM_NORMAL;
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
  void Release();
};

// How one copy ended: Stuck when the compositor did not answer in time or
// the connection failed, Failed when it refused or could not copy.
enum class CopyResult : std::uint8_t { Copied, Failed, Stuck };

struct CaptureConnection {
  wl_display* display = nullptr;
  wl_registry* registry = nullptr;
  wl_shm* shm = nullptr;
  zwlr_screencopy_manager_v1* screencopy = nullptr;
  std::uint32_t screencopyVersion = 0;
  ext_image_copy_capture_manager_v1* imageCopy = nullptr;
  ext_output_image_capture_source_manager_v1* outputSources = nullptr;
  zxdg_output_manager_v1* xdgManager = nullptr;
  std::vector<std::unique_ptr<OutputEntry>> outputs;
  ShmBuffer buffer;
  std::chrono::milliseconds timeout{500};
  bool outputsChanged = false;

  CaptureConnection() = default;
  CaptureConnection(const CaptureConnection&) = delete;
  CaptureConnection& operator=(const CaptureConnection&) = delete;
  ~CaptureConnection();

  // Connects to display (nullptr: WAYLAND_DISPLAY's) and hears the globals
  // and what the outputs tell of themselves. False when the compositor
  // cannot be reached or does not answer within the timeout.
  bool Open(const char* name);

  bool Alive() const { return display && wl_display_get_error(display) == 0; }

  // Reads and handles the compositor's events until done() holds, or the
  // deadline passes, or the connection fails: false then. A zero wait
  // handles what has arrived and returns.
  bool DispatchUntil(const std::function<bool()>& done, Clock::time_point deadline);
  // A round trip: every event the compositor sent before it is handled.
  bool Sync(Clock::time_point deadline);
  // Handles what has arrived, without waiting.
  void Drain() {
    DispatchUntil([] { return false; }, Clock::now());
  }
  // Everything the compositor has said so far, including the names and
  // positions of outputs that came meanwhile, which follow their binding.
  void Refresh();

  // The output at 0,0 of the desktop, else the first one announced.
  OutputEntry* Chosen();

  // The kept buffer, made anew when the format or size differs. False when
  // the size makes no buffer or the memory cannot be had.
  bool EnsureBuffer(std::uint32_t format, int width, int height, int stride);
  // The kept buffer's pixels as a frame.
  Frame BufferFrame(bool bottomUp) const;

 private:
  void WatchPosition(OutputEntry& entry);
  static void DestroyOutput(OutputEntry& entry);
  static void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version);
  static void OnGlobalRemove(void* data, wl_registry* registry, std::uint32_t name);
  static const wl_registry_listener kRegistryListener;
};

}  // namespace snapwick::wayland
