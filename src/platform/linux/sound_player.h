#pragma once
// Short sounds through the user's sound server (PulseAudio, or PipeWire's
// Pulse layer). The caller only hands the sound over; connecting and
// playing happen on the sound library's own thread. A new sound cuts off
// the one still playing. Without a server or a device nothing is heard and
// nothing is printed.

#include <memory>
#include <string_view>

#include "platform/status.h"

namespace snapwick::linux {

class SoundPlayer {
 public:
  SoundPlayer();
  ~SoundPlayer();
  SoundPlayer(const SoundPlayer&) = delete;
  SoundPlayer& operator=(const SoundPlayer&) = delete;

  // Fails for a file that cannot be read or is no WAV this player knows;
  // succeeds once the sound has been handed over.
  Status Play(std::string_view path);

 private:
  struct Loop;
  std::unique_ptr<Loop> loop_;
};

}  // namespace snapwick::linux
