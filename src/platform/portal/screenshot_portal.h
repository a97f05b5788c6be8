#pragma once
// The screen through the Screenshot portal, the last resort where no
// stream can be had: each grab asks the desktop for a picture file
// (without a dialog), loads it and removes it. Slow (a file written and
// read each time) but needs nothing from the user after the desktop's
// first permission.
//
// Grab waits, since the core wants its frame at once, but never runs an
// event loop on the caller's thread: the request is made and answered on
// a thread of its own with a connection of its own, and the caller waits
// on a condition with a timeout. An answer that comes after the timeout
// only has its file removed.

#include <QDBusConnection>
#include <QImage>
#include <QObject>
#include <QString>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

#include "platform/portal/portal_request.h"
#include "platform/screen.h"

namespace snapwick::portal {

enum class ShotOutcome : std::uint8_t {
  Taken,
  Cancelled,   // the desktop's answer 1: the user said no
  Failed,      // answer 2, or the call failed (no portal)
  TimedOut,    // no answer in time
  Unreadable,  // the file could not be read as a picture
};

// What the portal's answer gives: the file's local path, or why there is
// none.
struct ShotAnswer {
  ShotOutcome outcome = ShotOutcome::Failed;
  QString path;
};
ShotAnswer ReadScreenshotAnswer(ResponseOutcome outcome, const QVariantMap& results);

// A loaded picture as a frame, or Unreadable; the image is converted in
// place to 32-bit pixels the frame can point into.
std::optional<Frame> FrameOf(QImage& image);

class ScreenshotPortal {
 public:
  // Starts the thread and connects it to the session bus at `busAddress`
  // (empty: the session bus of the environment).
  explicit ScreenshotPortal(const QString& busAddress = {});
  // Starts the thread, which asks over `bus` (the program's registered
  // connection: QtDBus hands the answers to the thread all the same).
  explicit ScreenshotPortal(const QDBusConnection& bus);
  ~ScreenshotPortal();
  ScreenshotPortal(const ScreenshotPortal&) = delete;
  ScreenshotPortal& operator=(const ScreenshotPortal&) = delete;

  // A picture of the screen, valid until the next Grab; nothing on any
  // failure (LastOutcome says which).
  std::optional<Frame> Grab(std::chrono::milliseconds timeout);
  ShotOutcome LastOutcome() const { return lastOutcome_; }

 private:
  class Worker;

  void Start();
  // The worker's side.
  bool StillWanted(std::uint64_t grab);
  void Answer(std::uint64_t grab, ShotOutcome outcome, QImage image);

  QThread thread_;
  Worker* worker_ = nullptr;
  std::mutex mutex_;
  std::condition_variable answered_;
  std::uint64_t asked_ = 0;     // the grab being waited for
  std::uint64_t answerOf_ = 0;  // the grab the answer below belongs to
  ShotOutcome answer_ = ShotOutcome::Failed;
  QImage delivered_;
  QImage handed_;  // what the last frame points into
  ShotOutcome lastOutcome_ = ShotOutcome::Failed;
};

}  // namespace snapwick::portal
