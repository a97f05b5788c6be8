#include "platform/linux/termination_signals.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <csignal>

namespace snapwick::linux {
namespace {

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

TEST(TerminationSignals, EachEndingSignal_ArrivesThroughThePipeInOrder) {
  TerminationSignals signals;
  ASSERT_TRUE(signals.Installed());
  EXPECT_FALSE(Readable(signals.ReadFd()));
  EXPECT_FALSE(signals.NextSignal());
  for (const int s : {SIGTERM, SIGINT, SIGHUP}) ASSERT_EQ(std::raise(s), 0) << s;
  EXPECT_TRUE(Readable(signals.ReadFd()));
  EXPECT_EQ(signals.NextSignal(), SIGTERM);
  EXPECT_EQ(signals.NextSignal(), SIGINT);
  EXPECT_EQ(signals.NextSignal(), SIGHUP);
  EXPECT_FALSE(signals.NextSignal());
}

TEST(TerminationSignals, Destroyed_PreviousHandlersAreBack) {
  struct sigaction before {};
  ASSERT_EQ(::sigaction(SIGTERM, nullptr, &before), 0);
  {
    TerminationSignals signals;
    struct sigaction during {};
    ::sigaction(SIGTERM, nullptr, &during);
    EXPECT_NE(during.sa_handler, before.sa_handler);
  }
  struct sigaction after {};
  ::sigaction(SIGTERM, nullptr, &after);
  EXPECT_EQ(after.sa_handler, before.sa_handler);
}

}  // namespace
}  // namespace snapwick::linux
