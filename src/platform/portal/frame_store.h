#pragma once
// The newest picture of a screen-cast stream, between the thread that
// receives frames and the thread that takes shots. Frames come whenever
// the screen changes, so a shot cannot wait for the next one (a still
// screen sends none): each frame is copied as it comes, and a shot takes
// the newest copy. Three buffers: one being written, the newest whole one,
// and the one last handed out, which stays untouched until the next grab
// however many frames arrive meanwhile. A grab only swaps pointers.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/screen.h"

namespace snapwick::portal {

class FrameStore {
 public:
  // The receiving thread: copies `height` rows of `width` pixels from
  // `pixels`, `stride` bytes apart, and makes them the newest frame.
  // `receivedAt` is when the frame reached the process, for the figures.
  void Deliver(const std::uint8_t* pixels, int width, int height, int stride, PixelLayout layout,
               std::chrono::steady_clock::time_point receivedAt = std::chrono::steady_clock::now());
  // The stream ended (its producer went away, or failed): grabs return
  // nothing from now on, and one waiting returns at once.
  void End();
  bool Ended() const;
  // How many frames were delivered.
  std::uint64_t Delivered() const;

  // When frames came, for the figures: the newest frame's arrival and how
  // long its copy took, and when the first one was ready.
  struct Timing {
    std::chrono::nanoseconds lastCopy{0};
    std::chrono::steady_clock::time_point lastFrameAt{};
    std::chrono::steady_clock::time_point firstFrameAt{};
  };
  Timing LastTiming() const;

  // The newest frame, valid until the next Grab. Waits up to `firstFrame`
  // while no frame has come yet; nothing if none comes by then or the
  // stream has ended.
  std::optional<Frame> Grab(std::chrono::milliseconds firstFrame);

 private:
  struct Buffer {
    std::vector<std::uint8_t> bytes;
    int width = 0;
    int height = 0;
    PixelLayout layout = PixelLayout::Bgrx;
  };

  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  Buffer buffers_[3];
  // Indices into buffers_; `ready_` is valid only while `hasReady_`.
  int writing_ = 0;
  int ready_ = 1;
  int handed_ = 2;
  bool hasReady_ = false;
  bool fresh_ = false;  // ready_ holds a frame not handed out yet
  bool ended_ = false;
  std::uint64_t delivered_ = 0;
  Timing timing_;
};

}  // namespace snapwick::portal
