#include "platform/portal/frame_store.h"

#include <cstring>
#include <utility>

namespace snapwick::portal {

FrameStore::Offered FrameStore::Offer(const Picture& picture, void* key,
                                      std::chrono::steady_clock::time_point receivedAt) {
  std::lock_guard lock(mutex_);
  if (ended_ || !key || !picture.pixels || picture.width <= 0 || picture.height <= 0 ||
      picture.stride < picture.width * 4) {
    return {key, false};
  }
  Offered offered{newestKey_ == key ? nullptr : newestKey_, awaited_};
  newest_ = picture;
  newestKey_ = key;
  copied_ = false;
  awaited_ = false;
  ++delivered_;
  timing_.lastFrameAt = receivedAt;
  if (delivered_ == 1) timing_.firstFrameAt = receivedAt;
  return offered;
}

void FrameStore::Withdraw(void* key) {
  std::lock_guard lock(mutex_);
  if (key && key == newestKey_) newestKey_ = nullptr;
}

void* FrameStore::End() {
  std::lock_guard lock(mutex_);
  ended_ = true;
  return std::exchange(newestKey_, nullptr);
}

bool FrameStore::Ended() const {
  std::lock_guard lock(mutex_);
  return ended_;
}

std::uint64_t FrameStore::Delivered() const {
  std::lock_guard lock(mutex_);
  return delivered_;
}

std::uint64_t FrameStore::Copies() const {
  std::lock_guard lock(mutex_);
  return copies_;
}

FrameStore::Timing FrameStore::LastTiming() const {
  std::lock_guard lock(mutex_);
  return timing_;
}

std::optional<Frame> FrameStore::Grab() {
  // The copy runs under the lock: the receiving side cannot give the
  // picture's memory back, nor PipeWire unmap it, while it is read.
  std::lock_guard lock(mutex_);
  if (ended_) return std::nullopt;
  if (!newestKey_) {
    awaited_ = true;
    return std::nullopt;
  }
  if (!copied_) {
    const auto start = std::chrono::steady_clock::now();
    const auto rowBytes = static_cast<std::size_t>(newest_.width) * 4;
    handed_.resize(rowBytes * static_cast<std::size_t>(newest_.height));
    for (int row = 0; row < newest_.height; ++row) {
      std::memcpy(
          handed_.data() + rowBytes * static_cast<std::size_t>(row),
          newest_.pixels + static_cast<std::size_t>(newest_.stride) * static_cast<std::size_t>(row),
          rowBytes);
    }
    handedFrame_.pixels = handed_.data();
    handedFrame_.width = newest_.width;
    handedFrame_.height = newest_.height;
    handedFrame_.stride = static_cast<int>(rowBytes);
    handedFrame_.layout = newest_.layout;
    copied_ = true;
    ++copies_;
    timing_.lastCopy = std::chrono::steady_clock::now() - start;
  }
  return handedFrame_;
}

}  // namespace snapwick::portal
