#pragma once
// A screen-cast's PipeWire stream, received on a thread loop of its own so
// that frames keep coming however busy the program's event loop is, and a
// grab never runs an event loop: it takes the newest copied frame.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/portal/frame_store.h"
#include "platform/screen.h"

namespace snapwick::portal {

class PipeWireStream {
 public:
  PipeWireStream();
  // Stops the thread; no callback runs after this.
  ~PipeWireStream();
  PipeWireStream(const PipeWireStream&) = delete;
  PipeWireStream& operator=(const PipeWireStream&) = delete;

  // Connects to node `node` through `remoteFd` (the portal's
  // OpenPipeWireRemote; taken over and closed with the stream), or through
  // the user's default PipeWire when it is -1. False when the remote or
  // the stream could not be made.
  bool Connect(int remoteFd, std::uint32_t node);

  // Called on the stream's thread when it ends (the producer went away or
  // failed) after frames or before any came. Set before Connect.
  void OnEnded(std::function<void()> ended) { onEnded_ = std::move(ended); }

  // The newest frame, valid until the next Grab; waits up to `firstFrame`
  // for the first one. Nothing once the stream has ended.
  std::optional<Frame> Grab(std::chrono::milliseconds firstFrame) {
    return store_.Grab(firstFrame);
  }
  bool Ended() const { return store_.Ended(); }
  std::uint64_t FramesReceived() const { return store_.Delivered(); }

  FrameStore::Timing LastTiming() const { return store_.LastTiming(); }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  FrameStore store_;
  std::function<void()> onEnded_;
};

}  // namespace snapwick::portal
