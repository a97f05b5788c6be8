#include "platform/linux/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>

namespace snapwick::linux {
namespace {

constexpr std::array<int, 3> kSignals{SIGTERM, SIGINT, SIGHUP};
// Read by the handler, which may use nothing but async-signal-safe calls.
volatile std::sig_atomic_t gWriteFd = -1;
std::array<struct sigaction, kSignals.size()> gPrevious{};

extern "C" void OnTerminationSignal(int signal) {
  const int savedErrno = errno;
  const auto byte = static_cast<unsigned char>(signal);
  // A full pipe already holds a signal that will end the program.
  [[maybe_unused]] const ssize_t written = ::write(gWriteFd, &byte, 1);
  errno = savedErrno;
}

}  // namespace

TerminationSignals::TerminationSignals() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  read_.Reset(fds[0]);
  write_.Reset(fds[1]);
  gWriteFd = write_.Get();
  struct sigaction action {};
  action.sa_handler = &OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  // System calls in progress go on; the event loop reads the pipe.
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < kSignals.size(); ++i) {
    ::sigaction(kSignals[i], &action, &gPrevious[i]);
  }
  installed_ = true;
}

TerminationSignals::~TerminationSignals() {
  if (!installed_) return;
  for (std::size_t i = 0; i < kSignals.size(); ++i) {
    ::sigaction(kSignals[i], &gPrevious[i], nullptr);
  }
  gWriteFd = -1;
}

std::optional<int> TerminationSignals::NextSignal() {
  unsigned char byte = 0;
  if (!read_.Valid() || ::read(read_.Get(), &byte, 1) != 1) return std::nullopt;
  return byte;
}

}  // namespace snapwick::linux
