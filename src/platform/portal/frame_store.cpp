#include "platform/portal/frame_store.h"

#include <cstring>
#include <utility>

namespace snapwick::portal {

void FrameStore::Deliver(const std::uint8_t* pixels, int width, int height, int stride,
                         PixelLayout layout, std::chrono::steady_clock::time_point receivedAt) {
  if (!pixels || width <= 0 || height <= 0 || stride < width * 4) return;
  int target = 0;
  {
    std::lock_guard lock(mutex_);
    if (ended_) return;
    target = writing_;
  }
  // Only this thread touches the buffer being written, so the copy runs
  // without the lock and a grab never waits for it.
  Buffer& buffer = buffers_[target];
  const auto rowBytes = static_cast<std::size_t>(width) * 4;
  buffer.bytes.resize(rowBytes * static_cast<std::size_t>(height));
  for (int row = 0; row < height; ++row) {
    std::memcpy(buffer.bytes.data() + rowBytes * static_cast<std::size_t>(row),
                pixels + static_cast<std::size_t>(stride) * static_cast<std::size_t>(row),
                rowBytes);
  }
  buffer.width = width;
  buffer.height = height;
  buffer.layout = layout;
  const auto copied = std::chrono::steady_clock::now();
  {
    std::lock_guard lock(mutex_);
    std::swap(writing_, ready_);
    hasReady_ = true;
    fresh_ = true;
    ++delivered_;
    timing_.lastCopy = copied - receivedAt;
    timing_.lastFrameAt = copied;
    if (delivered_ == 1) timing_.firstFrameAt = copied;
  }
  arrived_.notify_all();
}

void FrameStore::End() {
  {
    std::lock_guard lock(mutex_);
    ended_ = true;
  }
  arrived_.notify_all();
}

bool FrameStore::Ended() const {
  std::lock_guard lock(mutex_);
  return ended_;
}

std::uint64_t FrameStore::Delivered() const {
  std::lock_guard lock(mutex_);
  return delivered_;
}

FrameStore::Timing FrameStore::LastTiming() const {
  std::lock_guard lock(mutex_);
  return timing_;
}

std::optional<Frame> FrameStore::Grab(std::chrono::milliseconds firstFrame) {
  std::unique_lock lock(mutex_);
  arrived_.wait_for(lock, firstFrame, [this] { return hasReady_ || ended_; });
  if (ended_ || !hasReady_) return std::nullopt;
  // With nothing newer, the frame handed out last is still the newest.
  if (fresh_) {
    std::swap(ready_, handed_);
    fresh_ = false;
  }
  const Buffer& buffer = buffers_[handed_];
  Frame frame;
  frame.pixels = buffer.bytes.data();
  frame.width = buffer.width;
  frame.height = buffer.height;
  frame.stride = buffer.width * 4;
  frame.layout = buffer.layout;
  return frame;
}

}  // namespace snapwick::portal
