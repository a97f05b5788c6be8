#pragma once
// Runs the Qt event loop from a test, the way the program's own loop runs:
// until a condition holds, or for a while.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

namespace snapwick::testing {

// Until `done` or two seconds have passed; whether `done` holds.
inline bool RunUntil(const std::function<bool()>& done) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 2000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
  }
  return done();
}

// For `ms` milliseconds.
inline void RunFor(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
  }
}

}  // namespace snapwick::testing
