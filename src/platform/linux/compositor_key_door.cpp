#include "platform/linux/compositor_key_door.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/linux/compositor_key_command.h"

namespace snapwick::linux {
namespace {

// Connections the system keeps for the program while it is busy (a shot
// being compressed): labwc's repeats come every 40 ms.
constexpr int kBacklog = 16;
// Longer than any message: a longer record is none of them.
constexpr std::size_t kMessageRoom = 64;
constexpr int kRestMs = 100;

// Lets go of a notifier that may be signalling at this moment: disabled at
// once, deleted by the event loop.
void Retire(std::unique_ptr<QSocketNotifier> notifier, QObject* owner) {
  if (!notifier) return;
  notifier->setEnabled(false);
  notifier->setParent(owner);
  notifier.release()->deleteLater();
}

// Where the system's process ids wrap.
std::uint32_t ProcessIdLimit() {
  const UniqueFd file(::open("/proc/sys/kernel/pid_max", O_RDONLY | O_CLOEXEC));
  char text[16] = {};
  const ssize_t n = file.Valid() ? ::read(file.Get(), text, sizeof text - 1) : -1;
  const unsigned long limit = n > 0 ? std::strtoul(text, nullptr, 10) : 0;
  return limit > 1 && limit <= UINT32_MAX ? static_cast<std::uint32_t>(limit)
                                          : CompositorKeyOrder::kDefaultIdLimit;
}

}  // namespace

std::unique_ptr<CompositorKeyDoor> CompositorKeyDoor::Open(const std::string& path,
                                                           KeyHandler onKey) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof(address.sun_path)) return nullptr;
  std::memcpy(address.sun_path, path.data(), path.size());

  struct stat found {};
  if (::lstat(path.c_str(), &found) == 0) {
    if (!S_ISSOCK(found.st_mode)) return nullptr;
    if (::unlink(path.c_str()) != 0) return nullptr;
  }
  UniqueFd listener(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!listener.Valid()) return nullptr;
  if (::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return nullptr;
  }
  // The folder is the user's own already; the file says so as well.
  struct stat made {};
  if (::chmod(path.c_str(), 0600) != 0 || ::lstat(path.c_str(), &made) != 0 ||
      ::listen(listener.Get(), kBacklog) != 0) {
    ::unlink(path.c_str());
    return nullptr;
  }
  std::unique_ptr<CompositorKeyDoor> door(
      new CompositorKeyDoor(path, std::move(listener), std::move(onKey), ProcessIdLimit()));
  door->device_ = made.st_dev;
  door->inode_ = made.st_ino;
  return door;
}

CompositorKeyDoor::CompositorKeyDoor(std::string path, UniqueFd listener, KeyHandler onKey,
                                     std::uint32_t idLimit)
    : path_(std::move(path)),
      listener_(std::move(listener)),
      onKey_(std::move(onKey)),
      order_(idLimit) {
  notifier_ = std::make_unique<QSocketNotifier>(listener_.Get(), QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, &context_, [this] { Accept(); });
}

CompositorKeyDoor::~CompositorKeyDoor() {
  // The notifiers go before their descriptors.
  notifier_.reset();
  callers_.clear();
  struct stat found {};
  if (::lstat(path_.c_str(), &found) == 0 && found.st_dev == device_ && found.st_ino == inode_) {
    ::unlink(path_.c_str());
  }
}

void CompositorKeyDoor::Accept() {
  for (;;) {
    UniqueFd fd(::accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!fd.Valid()) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      // Out of descriptors or memory: the connection stays queued, and the
      // door would wake the loop again at once. It rests a while instead.
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        notifier_->setEnabled(false);
        QTimer::singleShot(kRestMs, &context_, [this] { notifier_->setEnabled(true); });
      }
      return;
    }
    // Another user's process, which a folder that is not the user's own
    // would let in: never heard.
    ucred peer{};
    socklen_t length = sizeof peer;
    if (::getsockopt(fd.Get(), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
        peer.uid != ::geteuid()) {
      continue;
    }
    if (callers_.size() >= kMostWaiting) Drop(callers_.front().get());
    auto caller = std::make_unique<Caller>();
    caller->fd = std::move(fd);
    caller->id = peer.pid > 0 ? static_cast<std::uint32_t>(peer.pid) : 0;
    Caller* raw = caller.get();
    // The message usually follows the connection by a moment.
    if (Read(*raw)) continue;
    raw->notifier = std::make_unique<QSocketNotifier>(raw->fd.Get(), QSocketNotifier::Read);
    QObject::connect(raw->notifier.get(), &QSocketNotifier::activated, &context_, [this, raw] {
      if (Read(*raw)) Drop(raw);
    });
    callers_.push_back(std::move(caller));
  }
}

bool CompositorKeyDoor::Read(Caller& caller) {
  char message[kMessageRoom];
  ssize_t n;
  do {
    n = ::recv(caller.fd.Get(), message, sizeof message, MSG_DONTWAIT | MSG_TRUNC);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return errno != EAGAIN && errno != EWOULDBLOCK;
  // Heard only after the caller is done with: the handler may make a shot,
  // which takes a while, and must find the door as it is.
  if (n > 0 && static_cast<std::size_t>(n) <= sizeof message) {
    if (const auto key = KeyOfMessage(std::string_view(message, static_cast<std::size_t>(n)))) {
      QMetaObject::invokeMethod(
          &context_,
          [this, key = *key, id = caller.id, at = CompositorKeyOrder::Clock::now()] {
            Hear(key, id, at);
          },
          Qt::QueuedConnection);
    }
  }
  return true;
}

void CompositorKeyDoor::Drop(Caller* caller) {
  const auto found = std::find_if(callers_.begin(), callers_.end(),
                                  [caller](const auto& c) { return c.get() == caller; });
  if (found == callers_.end()) return;
  Retire(std::move((*found)->notifier), &context_);
  callers_.erase(found);
}

void CompositorKeyDoor::Hear(CompositorKey key, std::uint32_t id,
                             CompositorKeyOrder::Clock::time_point at) {
  for (const CompositorKey heard : order_.Heard(key, id, at)) {
    if (onKey_) onKey_(heard);
  }
}

}  // namespace snapwick::linux
