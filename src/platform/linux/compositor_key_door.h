#pragma once
// The running copy's end of the compositor's key commands
// (compositor_key_command.h): a Unix socket beside the single-instance
// lock, by path in the user's runtime folder (an abstract name would be
// open to every user's taking), listened to from Qt's event loop. Each
// command connects, sends one short fixed message and goes; a connection
// from another user is closed unread, a message the door does not know is
// dropped, and the keys reach the handler in the order the commands were
// started in (CompositorKeyOrder).

#include <sys/types.h>

#include <QObject>
#include <QSocketNotifier>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/keyboard.h"
#include "platform/linux/compositor_key_order.h"
#include "platform/linux/unique_fd.h"

namespace snapwick::linux {

class CompositorKeyDoor {
 public:
  using KeyHandler = std::function<void(CompositorKey key)>;

  // Opens the door at `path`, for the copy that holds the single-instance
  // lock and only for it: a socket's file left there is then a killed
  // copy's, and is replaced. Anything else at the path is not the
  // program's to remove, and there is no door. Nothing when the door cannot
  // be opened; the program runs on without it. Needs the QApplication.
  static std::unique_ptr<CompositorKeyDoor> Open(const std::string& path, KeyHandler onKey);
  // Closes the door and removes its file, if it is still this door's.
  ~CompositorKeyDoor();
  CompositorKeyDoor(const CompositorKeyDoor&) = delete;
  CompositorKeyDoor& operator=(const CompositorKeyDoor&) = delete;

  // How many accepted connections wait for their message: the oldest goes
  // once more than this many wait, so that no caller can hold descriptors.
  static constexpr std::size_t kMostWaiting = 8;
  std::size_t Waiting() const { return callers_.size(); }

 private:
  struct Caller {
    UniqueFd fd;
    std::uint32_t id = 0;  // its process id
    std::unique_ptr<QSocketNotifier> notifier;
  };

  CompositorKeyDoor(std::string path, UniqueFd listener, KeyHandler onKey, std::uint32_t idLimit);
  void Accept();
  // Reads the caller's message, if it has come; true once the caller is
  // done with (a message, or none that ever will come).
  bool Read(Caller& caller);
  void Drop(Caller* caller);
  // `id`: the caller's process id; `at`: when its message arrived.
  void Hear(CompositorKey key, std::uint32_t id, CompositorKeyOrder::Clock::time_point at);

  std::string path_;
  UniqueFd listener_;
  KeyHandler onKey_;
  CompositorKeyOrder order_;
  // The file's identity, so that only this door's file is removed.
  dev_t device_ = 0;
  ino_t inode_ = 0;
  QObject context_;  // the owner of the notifiers that go while signalling
  std::unique_ptr<QSocketNotifier> notifier_;
  std::vector<std::unique_ptr<Caller>> callers_;
};

}  // namespace snapwick::linux
