#pragma once
// SIGTERM, SIGINT and SIGHUP turned into a readable file descriptor, so
// that the event loop ends the program in order instead of the signal
// killing it half-way.

#include <optional>

#include "platform/linux/unique_fd.h"

namespace snapwick::linux {

class TerminationSignals {
 public:
  // Installs the handlers; only one object may live at a time. Without a
  // pipe the signals keep their default action.
  TerminationSignals();
  // Puts the previous handlers back.
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  bool Installed() const { return installed_; }
  // Readable when a signal has arrived.
  int ReadFd() const { return read_.Get(); }
  // The next signal that arrived, nothing when none is waiting.
  std::optional<int> NextSignal();

 private:
  UniqueFd read_;
  UniqueFd write_;
  bool installed_ = false;
};

}  // namespace snapwick::linux
