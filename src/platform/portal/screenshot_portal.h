#pragma once
// The screen through the Screenshot portal, the last resort where no
// stream can be had: each request asks the desktop for a picture file
// (without a dialog), loads it and removes it. Slow (the desktop renders
// and writes a file, a quarter to well over a second here) but needs
// nothing from the user after the desktop's first permission.
//
// Nothing waits on the caller's thread: a request is made, answered and
// its file read on a thread of its own with a connection of its own, and
// the picture comes to the caller's event loop. One request at a time,
// even one given up on after its time: the desktop is never asked again
// before it has answered, so requests cannot pile up behind a slow one.
// Every answer's file is removed, a late one's too, and one that comes
// while the program quits (the object waits a while for it).

#include <QDBusConnection>
#include <QImage>
#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
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
  // The picture of a request, valid until the next Ask, or nothing on any
  // failure (LastOutcome says which).
  using AnswerHandler = std::function<void(std::optional<Frame> frame)>;

  // How long the object waits, as it goes, for a request in flight to be
  // answered so that its file can be removed.
  static constexpr std::chrono::milliseconds kQuitWait{3000};

  // Starts the thread and connects it to the session bus at `busAddress`
  // (empty: the session bus of the environment). `onAnswer` is raised from
  // the event loop of the thread that makes the object, never from inside
  // Ask.
  explicit ScreenshotPortal(AnswerHandler onAnswer, const QString& busAddress = {});
  // The same over `bus` (the program's registered connection: QtDBus hands
  // the answers to the thread all the same).
  ScreenshotPortal(AnswerHandler onAnswer, const QDBusConnection& bus);
  ~ScreenshotPortal();
  ScreenshotPortal(const ScreenshotPortal&) = delete;
  ScreenshotPortal& operator=(const ScreenshotPortal&) = delete;

  // Asks for a picture; the answer comes to the handler, or nothing once
  // `timeout` has passed without one. False, and nothing asked, while an
  // earlier request is in flight.
  bool Ask(std::chrono::milliseconds timeout);
  // A request was made and the desktop has not answered it yet.
  bool InFlight() const;
  ShotOutcome LastOutcome() const { return lastOutcome_; }

 private:
  class Worker;

  void Start();
  // The worker's side.
  bool StillWanted(std::uint64_t request) const;
  void Settle(std::uint64_t request, ShotOutcome outcome, QImage image);
  // The caller's side.
  void OnAnswered(std::uint64_t request, ShotOutcome outcome, QImage image);
  void Tell(ShotOutcome outcome, std::optional<Frame> frame);

  AnswerHandler onAnswer_;
  QObject context_;  // on the caller's thread: where answers are told
  QTimer timeout_;
  QThread thread_;
  Worker* worker_ = nullptr;
  std::uint64_t waitedFor_ = 0;  // the request whose answer is awaited
  QImage handed_;                // what the last frame points into
  ShotOutcome lastOutcome_ = ShotOutcome::Failed;

  mutable std::mutex mutex_;
  std::condition_variable settled_;
  std::uint64_t asked_ = 0;         // the last request made
  std::uint64_t answeredUpTo_ = 0;  // the last request answered, its file gone
  bool wanted_ = false;             // the last request's picture is still wanted
  bool closing_ = false;
};

}  // namespace snapwick::portal
