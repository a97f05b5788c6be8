#pragma once
// The compositor's key commands in the order the keys went. Each command is
// a process of its own that the compositor starts at the key's press, its
// repeats or its release, and the processes race each other to the running
// copy: where a tap is shorter than a command's start, the release's may
// arrive first, and a held key's last repeat may arrive after its release.
// Such a press, heard last, would hold the key until the core's limit
// without news: up to ten seconds of shots for one tap.
//
// The order the commands were started in is the order of their process
// ids, which the system hands out in turn, wrapping at its limit
// (/proc/sys/kernel/pid_max): the door reads each caller's id (the
// peer's credentials) and places the command by it among the commands that
// arrived shortly before, the only ones it can have raced.

#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/keyboard.h"

namespace snapwick::linux {

class CompositorKeyOrder {
 public:
  using Clock = std::chrono::steady_clock;
  // The system's own limit when it cannot be read.
  static constexpr std::uint32_t kDefaultIdLimit = 4194304;
  // How long after a command another can still have raced it: far longer
  // than a command takes to start, even on a busy machine.
  static constexpr std::chrono::milliseconds kRace{1000};

  // `idLimit`: the process id the system wraps at.
  explicit CompositorKeyOrder(std::uint32_t idLimit = kDefaultIdLimit) : idLimit_(idLimit) {}

  // What the core hears of `key`, whose command ran as process `id` (0:
  // unknown, heard as it comes) and arrived at `now`, in order:
  //  - a Down started before the last Up, which arrived within kRace: if
  //    that Up found no key down, the Down is that tap's press, heard as
  //    the whole tap (Down, Up); otherwise it is a repeat that the release
  //    overtook, and is dropped;
  //  - an Up started before the newest Down of the hold in course, which
  //    arrived within kRace, belongs to an earlier hold, and is dropped;
  //  - everything else as it comes.
  std::vector<CompositorKey> Heard(CompositorKey key, std::uint32_t id, Clock::time_point now);

 private:
  // Whether process `a` was started before process `b`.
  bool Before(std::uint32_t a, std::uint32_t b) const;

  std::uint32_t idLimit_;
  bool down_ = false;
  // The newest Down of the hold in course, and the last Up.
  std::uint32_t downId_ = 0;
  Clock::time_point downAt_;
  std::uint32_t upId_ = 0;  // 0: none
  Clock::time_point upAt_;
  bool upLonely_ = false;  // it found no key down
};

}  // namespace snapwick::linux
