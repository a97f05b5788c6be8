#pragma once
// The compositor's key commands in the order the keys went. Each command is
// a process of its own that the compositor starts at the key's press or
// release, and the processes race each other to the running copy: where a
// tap is shorter than a command's start, the release's command may arrive
// first. Its press, heard after it, would then hold the key until the
// core's longest hold without news, ten seconds of shots for one tap.

#include <chrono>
#include <optional>
#include <vector>

#include "platform/keyboard.h"

namespace snapwick::linux {

class CompositorKeyOrder {
 public:
  using Clock = std::chrono::steady_clock;
  // How much later than its release a tap's press may arrive: far more
  // than two starts of the command can differ by, far less than a hand
  // takes to release a key and press it again and again.
  static constexpr std::chrono::milliseconds kLatePress{250};

  // What the core hears of `key`, arrived at `now`, in order. An Up that
  // finds no key down is kept: a Down that arrives within kLatePress of it
  // is that tap's press and is heard as the whole tap, Down then Up.
  std::vector<CompositorKey> Heard(CompositorKey key, Clock::time_point now);

 private:
  bool down_ = false;
  std::optional<Clock::time_point> lonelyUp_;
};

}  // namespace snapwick::linux
