#pragma once
// A screen-cast's PipeWire stream, received on a thread loop of its own so
// that frames keep coming however busy the program's event loop is. The
// newest picture stays in its PipeWire buffer, held back from the producer
// until a newer one comes, and is copied only when a grab wants it (see
// frame_store.h); the desktop is asked for no more frames a second than
// shots can come.

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

  // Called on the stream's thread: when it ends (the producer went away or
  // failed), and when a picture comes after a Grab that found none. Set
  // before Connect.
  void OnEnded(std::function<void()> ended) { onEnded_ = std::move(ended); }
  void OnFrameAwaited(std::function<void()> came) { onFrameAwaited_ = std::move(came); }

  // The newest picture, copied now; valid until the next Grab. Nothing
  // while none is at hand (OnFrameAwaited tells when one comes), and once
  // the stream has ended. Never waits but for a copy under way.
  std::optional<Frame> Grab() { return store_.Grab(); }
  bool Ended() const { return store_.Ended(); }
  std::uint64_t FramesReceived() const { return store_.Delivered(); }
  std::uint64_t FramesCopied() const { return store_.Copies(); }
  FrameStore::Timing LastTiming() const { return store_.LastTiming(); }
  // The descriptor of the connection to PipeWire given to Connect, while
  // the stream holds it; -1 otherwise.
  int RemoteFd() const { return remoteFd_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  FrameStore store_;
  std::function<void()> onEnded_;
  std::function<void()> onFrameAwaited_;
  int remoteFd_ = -1;
};

}  // namespace snapwick::portal
