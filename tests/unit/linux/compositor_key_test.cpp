// The compositor's key commands: the arguments, the door the running copy
// listens at, and the order in which their keys reach the core.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <fstream>
#include <functional>
#include <vector>

#include "linux/event_loop.h"
#include "platform/linux/compositor_key_command.h"
#include "platform/linux/compositor_key_door.h"
#include "platform/linux/compositor_key_order.h"
#include "platform/linux/single_instance.h"
#include "platform/linux/unique_fd.h"
#include "temp_folder.h"

namespace snapwick::linux {
namespace {

using Keys = std::vector<CompositorKey>;
using testing::RunFor;
using testing::RunUntil;
using testing::TempFolder;
constexpr auto kPress = CompositorKey::Press;
constexpr auto kDown = CompositorKey::Down;
constexpr auto kUp = CompositorKey::Up;

// A connection to `path` as a command would make one, without its message.
UniqueFd Connect(const std::string& path) {
  UniqueFd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return UniqueFd();
  }
  return fd;
}

TEST(CompositorKeyArgument, TheFirstThatNamesAKey_EverythingElseIgnored) {
  const struct {
    std::vector<const char*> arguments;
    std::optional<CompositorKey> key;
  } cases[] = {
      {{}, std::nullopt},
      {{"--hotkey-press"}, kPress},
      {{"-platform", "xcb", "--hotkey-down"}, kDown},
      {{"--hotkey-up", "--hotkey-down"}, kUp},
      {{"--hotkey", "hotkey-press", "--HOTKEY-PRESS", "--hotkey-press=1"}, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CompositorKeyArgument(c.arguments), c.key) << c.arguments.size();
  }
}

TEST(KeyMessage, EachKeyItsOwnMessage_AnythingElseNone) {
  for (const CompositorKey key : {kPress, kDown, kUp}) {
    EXPECT_EQ(KeyOfMessage(KeyMessage(key)), key);
  }
  EXPECT_NE(KeyMessage(kDown), KeyMessage(kUp));
  for (const std::string_view other :
       {"", "press", "snapwick/1 key press\n", "snapwick/2 key press", "snapwick/1 key"}) {
    EXPECT_EQ(KeyOfMessage(other), std::nullopt) << other;
  }
}

TEST(BindInCompositorNotice, NamesThisCopysCommandAsTheShellTakesIt) {
  EXPECT_EQ(ShellWord("/home/anna/snapwick/snapwick"), "/home/anna/snapwick/snapwick");
  EXPECT_EQ(ShellWord("/opt/my apps/it's/snapwick"), R"('/opt/my apps/it'\''s/snapwick')");
  const std::string notice = BindInCompositorNotice("/opt/my apps/snapwick");
  for (const char* line :
       {"'/opt/my apps/snapwick' --hotkey-press", "'/opt/my apps/snapwick' --hotkey-down",
        "'/opt/my apps/snapwick' --hotkey-up"}) {
    EXPECT_NE(notice.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(notice.find("{program}"), std::string::npos);
}

// The commands are processes that race each other to the door; their
// process ids tell the order they were started in.
TEST(CompositorKeyOrder, PlacedByProcessIdAmongThoseThatCouldHaveRaced) {
  const CompositorKeyOrder::Clock::time_point t0{};
  auto at = [&](int ms) { return t0 + std::chrono::milliseconds(ms); };
  CompositorKeyOrder order(32768);
  EXPECT_EQ(order.Heard(kDown, 100, at(0)), Keys{kDown});
  EXPECT_EQ(order.Heard(kDown, 110, at(600)), Keys{kDown});  // the binding's repeat
  // The last repeat arrives after the release that followed it.
  EXPECT_EQ(order.Heard(kUp, 130, at(650)), Keys{kUp});
  EXPECT_EQ(order.Heard(kDown, 120, at(655)), Keys{});
  // A tap whose release arrives first: the whole tap at its press.
  EXPECT_EQ(order.Heard(kUp, 141, at(2000)), Keys{kUp});
  EXPECT_EQ(order.Heard(kDown, 140, at(2003)), (Keys{kDown, kUp}));
  // A press after that release, however soon, holds; the next press that
  // overtakes the release before it leaves that release out.
  EXPECT_EQ(order.Heard(kDown, 150, at(2050)), Keys{kDown});
  EXPECT_EQ(order.Heard(kDown, 160, at(2300)), Keys{kDown});
  EXPECT_EQ(order.Heard(kUp, 155, at(2302)), Keys{});
  EXPECT_EQ(order.Heard(kUp, 165, at(2400)), Keys{kUp});
  // Ids wrap at the system's limit.
  EXPECT_EQ(order.Heard(kDown, 32760, at(5000)), Keys{kDown});
  EXPECT_EQ(order.Heard(kUp, 5, at(5100)), Keys{kUp});
  EXPECT_EQ(order.Heard(kDown, 32762, at(5101)), Keys{});
  // Commands far apart in time raced nothing, whatever their ids; an id
  // the door could not read is heard as it comes.
  EXPECT_EQ(order.Heard(kUp, 9000, at(9000)), Keys{kUp});
  EXPECT_EQ(order.Heard(kDown, 50, at(10001)), Keys{kDown});
  EXPECT_EQ(order.Heard(kUp, 60, at(10100)), Keys{kUp});
  EXPECT_EQ(order.Heard(kDown, 0, at(10101)), Keys{kDown});
  EXPECT_EQ(order.Heard(kPress, 1, at(10200)), Keys{kPress});
}

class Door : public ::testing::Test {
 protected:
  void Open() {
    door_ = CompositorKeyDoor::Open(path_, [this](CompositorKey key) { heard_.push_back(key); });
    ASSERT_TRUE(door_);
  }
  // A command's send, answered as the command answers it.
  KeySent Send(CompositorKey key) { return SendCompositorKey(path_, key); }
  bool Hears(std::size_t count) {
    return RunUntil([&] { return heard_.size() >= count; });
  }

  TempFolder dir_;
  std::string path_ = KeyDoorPath(dir_.Path(), ":7");
  std::unique_ptr<CompositorKeyDoor> door_;
  Keys heard_;
};

TEST_F(Door, CommandsKeys_HeardFromTheEventLoopInOrder_FileGoneWithTheDoor) {
  Open();
  struct stat st {};
  ASSERT_EQ(::lstat(path_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  for (const CompositorKey key : {kPress, kDown, kUp}) ASSERT_EQ(Send(key), KeySent::Sent);
  // Nothing from inside the send: only the event loop hears.
  EXPECT_TRUE(heard_.empty());
  ASSERT_TRUE(Hears(3));
  EXPECT_EQ(heard_, (Keys{kPress, kDown, kUp}));
  EXPECT_EQ(door_->Waiting(), 0u);

  door_.reset();
  EXPECT_NE(::lstat(path_.c_str(), &st), 0);
  EXPECT_EQ(Send(kPress), KeySent::NoRunningCopy);
  EXPECT_EQ(RunCompositorKeyCommand(kPress, dir_.Path(), ":7"), 1);
  EXPECT_EQ(RunCompositorKeyCommand(kPress, "", ":7"), 1);
}

// A copy killed outright leaves its socket's file: no command reaches
// anyone there, and the next copy that holds the lock takes its place.
// What is not a socket is not the program's to remove.
TEST_F(Door, KilledCopysSocketReplaced_AnyOtherFileLeftAlone) {
  {
    UniqueFd dead(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path_.data(), path_.size());
    ASSERT_EQ(::bind(dead.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(dead.Get(), 1), 0);
  }
  EXPECT_EQ(Send(kPress), KeySent::NoRunningCopy);
  EXPECT_EQ(RunCompositorKeyCommand(kPress, dir_.Path(), ":7"), 1);
  Open();
  ASSERT_EQ(Send(kPress), KeySent::Sent);
  ASSERT_TRUE(Hears(1));
  door_.reset();

  std::ofstream(path_) << "not a socket";
  EXPECT_FALSE(CompositorKeyDoor::Open(path_, nullptr));
  std::ifstream kept(path_);
  std::string text;
  std::getline(kept, text);
  EXPECT_EQ(text, "not a socket");
  // Nor can a path a socket cannot hold be one.
  EXPECT_FALSE(CompositorKeyDoor::Open(std::string(120, 'x'), nullptr));
  EXPECT_EQ(SendCompositorKey(std::string(120, 'x'), kPress), KeySent::Failed);
}

TEST_F(Door, WhatIsNoMessage_Dropped_AndTheDoorStaysOpen) {
  Open();
  const std::string longer(200, 'k');
  for (const std::string_view junk :
       {std::string_view("hello"), std::string_view("snapwick/1 key press\n"),
        std::string_view(longer)}) {
    UniqueFd fd = Connect(path_);
    ASSERT_TRUE(fd.Valid());
    ASSERT_EQ(::send(fd.Get(), junk.data(), junk.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(junk.size()));
  }
  RunFor(50);
  // Connections that say nothing, held open or closed, hold no more than a
  // few descriptors and keep no one else out.
  std::vector<UniqueFd> silent;
  for (std::size_t i = 0; i < CompositorKeyDoor::kMostWaiting + 2; ++i) {
    silent.push_back(Connect(path_));
    ASSERT_TRUE(silent.back().Valid());
  }
  Connect(path_);
  RunFor(100);
  EXPECT_LE(door_->Waiting(), CompositorKeyDoor::kMostWaiting);
  ASSERT_EQ(Send(kDown), KeySent::Sent);
  ASSERT_TRUE(Hears(1));
  RunFor(100);
  EXPECT_EQ(heard_, Keys{kDown});
}

// Another user's process can reach a door only through a folder or file
// that is not the user's own; it is never heard, and a command never
// tells another user's copy.
TEST_F(Door, AnotherUsersProcess_NeitherHeardNorTold) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  constexpr uid_t kNobody = 65534;
  ASSERT_EQ(::chmod(dir_.Path().c_str(), 0777), 0);
  Open();
  ASSERT_EQ(::chmod(path_.c_str(), 0666), 0);
  const pid_t caller = ::fork();
  if (caller == 0) {
    if (::setresgid(kNobody, kNobody, kNobody) != 0 ||
        ::setresuid(kNobody, kNobody, kNobody) != 0) {
      ::_exit(2);
    }
    const UniqueFd fd = Connect(path_);
    const std::string_view message = KeyMessage(kPress);
    ::_exit(fd.Valid() && ::send(fd.Get(), message.data(), message.size(), MSG_NOSIGNAL) > 0 ? 0
                                                                                             : 3);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(caller, &status, 0), caller);
  ASSERT_EQ(WEXITSTATUS(status), 0) << "the other user could not connect at all";
  ASSERT_EQ(Send(kUp), KeySent::Sent);
  ASSERT_TRUE(Hears(1));
  RunFor(100);
  EXPECT_EQ(heard_, Keys{kUp});
  door_.reset();

  // Another user's copy listening where this user's would.
  int ready[2];
  int done[2];
  ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
  ASSERT_EQ(::pipe2(done, O_CLOEXEC), 0);
  const pid_t other = ::fork();
  if (other == 0) {
    ::close(ready[0]);
    ::close(done[1]);
    if (::setresgid(kNobody, kNobody, kNobody) != 0 ||
        ::setresuid(kNobody, kNobody, kNobody) != 0) {
      ::_exit(2);
    }
    const UniqueFd listener(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path_.data(), path_.size());
    if (::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.Get(), 4) != 0 || ::write(ready[1], "r", 1) != 1) {
      ::_exit(3);
    }
    char end = 0;
    ::_exit(::read(done[0], &end, 1) == 0 ? 0 : 4);
  }
  ::close(ready[1]);
  ::close(done[0]);
  char byte = 0;
  const bool listening = ::read(ready[0], &byte, 1) == 1;
  ::close(ready[0]);
  const KeySent sent = listening ? Send(kPress) : KeySent::Failed;
  ::close(done[1]);
  ::waitpid(other, &status, 0);
  ASSERT_TRUE(listening);
  EXPECT_EQ(sent, KeySent::NotOurs);
}

}  // namespace
}  // namespace snapwick::linux
