#include "platform/linux/compositor_key_command.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/linux/linux_texts.h"
#include "platform/linux/single_instance.h"
#include "platform/linux/unique_fd.h"

namespace snapwick::linux {
namespace {

struct KeyWords {
  CompositorKey key;
  std::string_view argument;
  std::string_view message;
};

constexpr std::array<KeyWords, 3> kKeys{{
    {CompositorKey::Press, kPressArgument, "snapwick/1 key press"},
    {CompositorKey::Down, kDownArgument, "snapwick/1 key down"},
    {CompositorKey::Up, kUpArgument, "snapwick/1 key up"},
}};

// Waited at most for a copy whose queue of connections is full.
constexpr int kConnectTimeoutMs = 1000;

void Say(std::string_view text, std::string_view detail) {
  std::fprintf(stderr, "%.*s (%.*s)\n", static_cast<int>(text.size()), text.data(),
               static_cast<int>(detail.size()), detail.data());
}

}  // namespace

std::optional<CompositorKey> CompositorKeyArgument(std::span<const char* const> arguments) {
  for (const char* argument : arguments) {
    if (!argument) continue;
    for (const KeyWords& words : kKeys) {
      if (words.argument == argument) return words.key;
    }
  }
  return std::nullopt;
}

std::string_view KeyMessage(CompositorKey key) {
  for (const KeyWords& words : kKeys) {
    if (words.key == key) return words.message;
  }
  return {};
}

std::optional<CompositorKey> KeyOfMessage(std::string_view message) {
  for (const KeyWords& words : kKeys) {
    if (words.message == message) return words.key;
  }
  return std::nullopt;
}

KeySent SendCompositorKey(const std::string& doorPath, CompositorKey key) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (doorPath.empty() || doorPath.size() >= sizeof(address.sun_path)) {
    errno = ENAMETOOLONG;
    return KeySent::Failed;
  }
  std::memcpy(address.sun_path, doorPath.data(), doorPath.size());

  UniqueFd door(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
  if (!door.Valid()) return KeySent::Failed;
  // A copy that takes no connections (stopped in a debugger, say) must not
  // pile up a command a repeat.
  const timeval timeout{kConnectTimeoutMs / 1000, (kConnectTimeoutMs % 1000) * 1000};
  ::setsockopt(door.Get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  int connected;
  do {
    connected = ::connect(door.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (connected != 0 && errno == EINTR);
  if (connected != 0) {
    // No file, or a file that no one listens at: a copy killed outright
    // leaves its socket's file behind.
    return errno == ENOENT || errno == ECONNREFUSED ? KeySent::NoRunningCopy : KeySent::Failed;
  }
  // The runtime folder is the user's own; this is for one that is not.
  ucred peer{};
  socklen_t length = sizeof peer;
  if (::getsockopt(door.Get(), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0) {
    return KeySent::Failed;
  }
  if (peer.uid != ::geteuid()) return KeySent::NotOurs;
  const std::string_view message = KeyMessage(key);
  // One record: it goes whole or not at all.
  if (::send(door.Get(), message.data(), message.size(), MSG_NOSIGNAL) < 0) return KeySent::Failed;
  return KeySent::Sent;
}

int RunCompositorKeyCommand(CompositorKey key, std::string_view runtimeFolder,
                            std::string_view sessionKey) {
  if (runtimeFolder.empty()) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(kNoRuntimeFolderMessage.size()),
                 kNoRuntimeFolderMessage.data());
    return 1;
  }
  const std::string path = KeyDoorPath(runtimeFolder, sessionKey);
  switch (SendCompositorKey(path, key)) {
    case KeySent::Sent:
      return 0;
    case KeySent::NoRunningCopy:
      Say(kNoRunningCopyMessage, path);
      return 1;
    case KeySent::NotOurs:
      Say(kDoorNotOursMessage, path);
      return 1;
    case KeySent::Failed:
      break;
  }
  Say(kKeyNotSentMessage, path + ": " + std::strerror(errno));
  return 1;
}

std::string ShellWord(std::string_view program) {
  constexpr std::string_view kPlain =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789/._+-,:@%=";
  if (!program.empty() && program.find_first_not_of(kPlain) == std::string_view::npos) {
    return std::string(program);
  }
  std::string word = "'";
  for (const char c : program) {
    if (c == '\'') {
      word += "'\\''";
    } else {
      word += c;
    }
  }
  return word + "'";
}

std::string BindInCompositorNotice(std::string_view program) {
  const std::string word = ShellWord(program);
  std::string notice(kBindInCompositorMessage);
  constexpr std::string_view kProgram = "{program}";
  for (auto at = notice.find(kProgram); at != std::string::npos;
       at = notice.find(kProgram, at + word.size())) {
    notice.replace(at, kProgram.size(), word);
  }
  return notice;
}

}  // namespace snapwick::linux
