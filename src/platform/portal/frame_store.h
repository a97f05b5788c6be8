#pragma once
// The newest picture of a screen-cast stream, between the thread that
// receives frames and the thread that takes shots. The desktop sends a
// frame whenever the screen changes, many a second while anything moves,
// and a shot wants only the one at hand when it is taken: a picture is
// copied then, never as it comes. The receiving side keeps the newest
// picture in the stream's own memory (a buffer it holds back from the
// producer) and offers it here; a grab copies it into the store's own
// buffer, which the frame handed out points into until the next grab. The
// stream's memory itself is never handed out: PipeWire may unmap it at
// any renegotiation, while the shot is still being compressed.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/screen.h"

namespace snapwick::portal {

class FrameStore {
 public:
  // A picture in the receiving side's memory: `height` rows of `width`
  // pixels, `stride` bytes apart.
  struct Picture {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    PixelLayout layout = PixelLayout::Bgrx;
  };
  // What the receiving side does after an offer.
  struct Offered {
    // The memory to give back to the producer: the picture this one
    // replaced, or this one when it was refused; the store reads it no
    // more. Null: nothing to give back.
    void* giveBack = nullptr;
    // A grab found no picture since the last offer: tell the taker that
    // one has come.
    bool awaited = false;
  };

  // The receiving thread: `picture`, known by `key`, is the newest; its
  // memory stays readable until the store gives `key` back (from a later
  // Offer, or End). `receivedAt` is when it reached the process, for the
  // figures.
  Offered Offer(
      const Picture& picture, void* key,
      std::chrono::steady_clock::time_point receivedAt = std::chrono::steady_clock::now());
  // The memory of `key` goes away (PipeWire drops its buffers when the
  // format changes): once this returns it is not read again, and until a
  // new picture comes there is none at hand.
  void Withdraw(void* key);
  // The stream ended (its producer went away, or failed): grabs give
  // nothing from now on. The newest picture's key, to give back.
  void* End();
  bool Ended() const;
  // How many pictures were offered, and how many of them were copied.
  std::uint64_t Delivered() const;
  std::uint64_t Copies() const;

  // For the figures: when the newest picture came, how long the last
  // grab's copy took, and when the first picture came.
  struct Timing {
    std::chrono::nanoseconds lastCopy{0};
    std::chrono::steady_clock::time_point lastFrameAt{};
    std::chrono::steady_clock::time_point firstFrameAt{};
  };
  Timing LastTiming() const;

  // The newest picture, copied now unless an earlier grab copied it
  // already; valid until the next Grab. Nothing while there is none at
  // hand (none came yet, or its memory was withdrawn since), and then the
  // next offer is awaited; nothing once ended.
  std::optional<Frame> Grab();

 private:
  mutable std::mutex mutex_;
  // The newest picture and its key; the key is null while none is at hand.
  Picture newest_;
  void* newestKey_ = nullptr;
  bool copied_ = false;  // the handed buffer holds the newest picture
  std::vector<std::uint8_t> handed_;
  Frame handedFrame_;
  bool awaited_ = false;
  bool ended_ = false;
  std::uint64_t delivered_ = 0;
  std::uint64_t copies_ = 0;
  Timing timing_;
};

}  // namespace snapwick::portal
