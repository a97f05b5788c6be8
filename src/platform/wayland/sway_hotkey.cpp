#include "platform/wayland/sway_hotkey.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <utility>

namespace snapwick::wayland {
namespace {

using Clock = std::chrono::steady_clock;

// Sway answers a command in well under a millisecond; a sway that hangs
// must not hang the program's window with it. Each try of a command waits
// this long.
constexpr std::chrono::milliseconds kReplyTimeout{500};

bool IsSocket(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

int MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

// One connection to sway's socket, non-blocking, its messages cut apart as
// they come.
class IpcConnection {
 public:
  static std::unique_ptr<IpcConnection> Open(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return nullptr;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return nullptr;
    // A Unix socket connects at once or not at all.
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      close(fd);
      return nullptr;
    }
    return std::unique_ptr<IpcConnection>(new IpcConnection(fd));
  }

  ~IpcConnection() { Close(); }
  IpcConnection(const IpcConnection&) = delete;
  IpcConnection& operator=(const IpcConnection&) = delete;

  int Fd() const { return fd_; }
  bool Open() const { return fd_ >= 0; }

  // Sends a message and waits for the reply of its type; events that come
  // meanwhile are kept for Next().
  std::optional<IpcMessage> Request(std::uint32_t type, std::string_view payload) {
    const Clock::time_point deadline = Clock::now() + kReplyTimeout;
    if (!Send(EncodeIpcMessage(type, payload), deadline)) return std::nullopt;
    while (Open()) {
      while (std::optional<IpcMessage> message = reader_.Next()) {
        if (message->type == type) return message;
        held_.push_back(std::move(*message));
      }
      if (reader_.Broken()) {
        Close();
        break;
      }
      pollfd waiting{fd_, POLLIN, 0};
      const int ready = poll(&waiting, 1, MillisecondsUntil(deadline));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) {
        // A reply that comes late would be taken for the next request's:
        // the connection is given up.
        Close();
        return std::nullopt;
      }
      if (!ReadAvailable()) break;
    }
    return std::nullopt;
  }

  // Reads whatever has arrived, without waiting. False when the
  // connection has ended.
  bool ReadAvailable() {
    char chunk[4096];
    while (Open()) {
      const ssize_t got = recv(fd_, chunk, sizeof chunk, 0);
      if (got > 0) {
        reader_.Append(chunk, static_cast<std::size_t>(got));
        continue;
      }
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
      Close();
    }
    return false;
  }

  std::optional<IpcMessage> Next() {
    if (!held_.empty()) {
      IpcMessage message = std::move(held_.front());
      held_.pop_front();
      return message;
    }
    std::optional<IpcMessage> message = reader_.Next();
    if (!message && reader_.Broken()) Close();
    return message;
  }

 private:
  explicit IpcConnection(int fd) : fd_(fd) {}

  bool Send(const std::string& bytes, Clock::time_point deadline) {
    std::size_t sent = 0;
    while (Open() && sent < bytes.size()) {
      const ssize_t put = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (put > 0) {
        sent += static_cast<std::size_t>(put);
        continue;
      }
      if (put < 0 && errno == EINTR) continue;
      if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        pollfd waiting{fd_, POLLOUT, 0};
        if (poll(&waiting, 1, MillisecondsUntil(deadline)) > 0) continue;
        // A message half sent leaves the stream unusable.
      }
      Close();
    }
    return Open();
  }

  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  int fd_;
  IpcMessageReader reader_;
  std::deque<IpcMessage> held_;
};

std::optional<std::string> FindSwaySocket() {
  for (const char* name : {"SWAYSOCK", "I3SOCK"}) {
    if (const char* path = Env(name); path && IsSocket(path)) return std::string(path);
  }
  const char* runtime = Env("XDG_RUNTIME_DIR");
  if (!runtime) return std::nullopt;
  DIR* dir = opendir(runtime);
  if (!dir) return std::nullopt;
  const std::string prefix = "sway-ipc." + std::to_string(getuid()) + ".";
  std::optional<std::string> newest;
  struct timespec newestTime {};
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (!name.starts_with(prefix) || !name.ends_with(".sock")) continue;
    const std::string pid = name.substr(prefix.size(), name.size() - prefix.size() - 5);
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
    // A sway that crashed leaves its socket behind.
    if (access(("/proc/" + pid).c_str(), F_OK) != 0) continue;
    const std::string path = std::string(runtime) + "/" + name;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode)) continue;
    const bool newer =
        info.st_mtim.tv_sec > newestTime.tv_sec ||
        (info.st_mtim.tv_sec == newestTime.tv_sec && info.st_mtim.tv_nsec > newestTime.tv_nsec);
    if (!newest || newer) {
      newest = path;
      newestTime = info.st_mtim;
    }
  }
  closedir(dir);
  return newest;
}

std::string NewBindingTag() {
  unsigned char random[8] = {};
  std::size_t got = 0;
  while (got < sizeof random) {
    const ssize_t n = getrandom(random + got, sizeof random - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  // Without random bytes the process id alone still tells the processes
  // of one machine apart, and the clock makes a reused id unlikely to meet.
  if (got < sizeof random) {
    const auto now = static_cast<unsigned long long>(Clock::now().time_since_epoch().count());
    std::memcpy(random, &now, sizeof random);
  }
  std::string tag = "snapwick-" + std::to_string(getpid()) + "-";
  char hex[3];
  for (unsigned char byte : random) {
    std::snprintf(hex, sizeof hex, "%02x", byte);
    tag += hex;
  }
  return tag;
}

HotkeyEvents::HotkeyEvents(const std::string& tag)
    : downName_(tag + "-down"),
      upName_(tag + "-up"),
      downCommand_("nop " + downName_),
      upCommand_("nop " + upName_) {}

HotkeyEvents::Outcome HotkeyEvents::OnEvent(const IpcMessage& event) const {
  Outcome outcome;
  if (event.type == sway_ipc::kBindingEvent) {
    const std::optional<std::string> command = BoundCommandOf(event.payload);
    if (command == downCommand_) outcome.down = true;
    if (command == upCommand_) outcome.down = false;
  } else if (event.type == sway_ipc::kWorkspaceEvent && IsReload(event.payload)) {
    // A hold under way loses its release binding with the reload; the
    // repeats stop with it, which ends the hold.
    outcome.rebind = true;
  }
  return outcome;
}

std::unique_ptr<SwayHotkey> SwayHotkey::Connect(KeyHandler onKey, std::string socketPath) {
  if (socketPath.empty()) {
    std::optional<std::string> found = FindSwaySocket();
    if (!found) return nullptr;
    socketPath = std::move(*found);
  }
  std::unique_ptr<IpcConnection> commands = IpcConnection::Open(socketPath);
  std::unique_ptr<IpcConnection> subscription = IpcConnection::Open(socketPath);
  if (!commands || !subscription) return nullptr;
  const std::optional<IpcMessage> reply =
      subscription->Request(sway_ipc::kSubscribe, R"(["binding","workspace"])");
  if (!reply || !IsSuccess(reply->payload)) return nullptr;
  return std::unique_ptr<SwayHotkey>(new SwayHotkey(std::move(onKey), std::move(socketPath),
                                                    std::move(commands), std::move(subscription)));
}

SwayHotkey::SwayHotkey(KeyHandler onKey, std::string socketPath,
                       std::unique_ptr<IpcConnection> commands,
                       std::unique_ptr<IpcConnection> subscription)
    : onKey_(std::move(onKey)),
      socketPath_(std::move(socketPath)),
      commands_(std::move(commands)),
      subscription_(std::move(subscription)),
      events_(NewBindingTag()) {}

SwayHotkey::~SwayHotkey() {
  Unbind();
  SetFirstLayout(nullptr);
}

void SwayHotkey::SetFirstLayout(xkb_keymap* keymap) {
  if (keymap) xkb_keymap_ref(keymap);
  if (firstLayout_) xkb_keymap_unref(firstLayout_);
  firstLayout_ = keymap;
}

std::optional<IpcMessage> SwayHotkey::Request(std::uint32_t type, std::string_view payload) {
  // A connection given up (a reply that did not come in time, a broken
  // stream) is never used again, so that its late reply cannot be taken
  // for a later request's: the command goes once more over a new one.
  for (int tries = 0; tries < 2; ++tries) {
    if (!commands_ || !commands_->Open()) commands_ = IpcConnection::Open(socketPath_);
    if (!commands_) return std::nullopt;
    if (std::optional<IpcMessage> reply = commands_->Request(type, payload)) return reply;
  }
  return std::nullopt;
}

bool SwayHotkey::RunCommand(const std::string& command) {
  const std::optional<IpcMessage> reply = Request(sway_ipc::kRunCommand, command);
  return reply && AllSucceeded(ParseCommandReply(reply->payload), 1);
}

std::optional<bool> SwayHotkey::KeyTaken(const std::vector<SwayKey>& keys) {
  const std::optional<IpcMessage> reply = Request(sway_ipc::kGetConfig, "");
  if (!reply) return std::nullopt;
  const std::optional<std::string> config = ConfigTextOf(reply->payload);
  // No configuration to read: nothing is known to be taken.
  if (!config) return false;
  for (const SwayKey& key : keys) {
    if (ConfigBindsKey(*config, key.kind == SwayKey::Kind::Keycode, key.key)) return true;
  }
  return false;
}

bool SwayHotkey::Bind(const std::vector<SwayKey>& keys) {
  // Without the events nothing bound would ever be reported.
  if (keys.empty() || !subscription_->Open()) return false;
  // A sway that does not answer is not asked for bindings either.
  const std::optional<bool> taken = KeyTaken(keys);
  if (!taken || *taken) return false;
  for (const SwayKey& key : keys) {
    // Given back should this fail, even when no reply came: sway may have
    // bound it all the same.
    bound_.push_back(key);
    if (!RunCommand(BindCommand(key, false, events_.DownName())) ||
        !RunCommand(BindCommand(key, true, events_.UpName()))) {
      // Half a hotkey would report a press that never ends, or nothing:
      // none at all.
      UnbindKeys();
      return false;
    }
  }
  return true;
}

bool SwayHotkey::Watch(int virtualKey) {
  Unbind();
  if (virtualKey == 0 || !Bind(SwayKeysOf(virtualKey, firstLayout_))) return false;
  // Bound again at each reload from now on.
  virtualKey_ = virtualKey;
  return true;
}

void SwayHotkey::Unbind() {
  UnbindKeys();
  // Not bound again by a reload either.
  virtualKey_ = 0;
}

void SwayHotkey::UnbindKeys() {
  for (const SwayKey& key : bound_) {
    // Each separately: the release binding may be there without the press.
    RunCommand(UnbindCommand(key, false));
    RunCommand(UnbindCommand(key, true));
  }
  bound_.clear();
}

int SwayHotkey::EventFd() const { return subscription_->Fd(); }

bool SwayHotkey::ProcessEvents() {
  const bool open = subscription_->ReadAvailable();
  bool rebind = false;
  while (std::optional<IpcMessage> event = subscription_->Next()) {
    const HotkeyEvents::Outcome outcome = events_.OnEvent(*event);
    if (outcome.rebind) {
      rebind = true;
      ++reloads_;
    }
    if (outcome.down && onKey_) onKey_(*outcome.down);
  }
  if (rebind && virtualKey_ != 0) {
    // Sway dropped them all; unbinding first would fail, or remove a
    // binding that the new configuration made. A key the configuration
    // binds now stays the user's until a reload that no longer does.
    bound_.clear();
    Bind(SwayKeysOf(virtualKey_, firstLayout_));
  }
  if (!subscription_->Open()) {
    if (Watching() && onKey_) onKey_(false);
    bound_.clear();
    virtualKey_ = 0;
    return false;
  }
  return open;
}

}  // namespace snapwick::wayland
