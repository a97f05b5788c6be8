// The hotkey over a socket that answers as sway does: which commands it is
// sent, what it reports and when, and what it does when sway refuses a
// binding, answers late or not at all, the user's configuration has the
// key, the configuration is reloaded or sway goes away. The real sway is
// in the end-to-end scenarios (tests/e2e_wayland).

#include <fcntl.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/wayland/sway_hotkey.h"
#include "platform/wayland/sway_hotkey_source.h"
#include "platform/wayland/sway_ipc_messages.h"

namespace snapwick::wayland {
namespace {

namespace fs = std::filesystem;

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out + "\"";
}

int ListenAt(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, 8) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// A sway that answers the hotkey's requests: every command succeeds but
// those containing a refused word, the configuration is whatever was set,
// and events go to the connections that subscribed.
class FakeSway {
 public:
  FakeSway() {
    char folder[] = "/tmp/snapwick-fake-sway.XXXXXX";
    folder_ = mkdtemp(folder);
    path_ = folder_ + "/sway-ipc.sock";
    listener_ = ListenAt(path_);
    if (pipe2(wake_, O_CLOEXEC) != 0) std::abort();
    server_ = std::thread([this] { Serve(); });
  }
  ~FakeSway() {
    stop_ = true;
    (void)!write(wake_[1], "x", 1);
    server_.join();
    CloseClients();
    close(listener_);
    close(wake_[0]);
    close(wake_[1]);
    fs::remove_all(folder_);
  }

  const std::string& Path() const { return path_; }
  void SetConfig(const std::string& config) {
    std::lock_guard lock(mutex_);
    config_ = config;
  }
  void Refuse(const std::string& word) {
    std::lock_guard lock(mutex_);
    refused_ = word;
  }
  // As a sway that hangs: requests get no reply, until it answers again.
  void Mute(bool mute = true) {
    std::lock_guard lock(mutex_);
    mute_ = mute;
  }
  // As a sway slow for a moment: the next command's reply, a failure, comes
  // only just before the reply to the request after it.
  void StallNextCommand() {
    std::lock_guard lock(mutex_);
    stallNext_ = true;
  }
  std::vector<std::string> TakeCommands() {
    std::lock_guard lock(mutex_);
    return std::exchange(commands_, {});
  }
  void SendEvent(std::uint32_t type, const std::string& payload) {
    std::lock_guard lock(mutex_);
    const std::string bytes = EncodeIpcMessage(type, payload);
    for (const Client& client : clients_) {
      if (!client.subscribed) continue;
      ASSERT_EQ(write(client.fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
  }
  // As a sway that exits.
  void CloseClients() {
    std::lock_guard lock(mutex_);
    // shutdown ends the stream at once; close alone waits for the server's
    // poll to let go of the descriptor.
    for (Client& client : clients_) {
      shutdown(client.fd, SHUT_RDWR);
      close(client.fd);
    }
    clients_.clear();
    lateFd_ = -1;
  }

 private:
  struct Client {
    int fd;
    bool subscribed = false;
    IpcMessageReader reader;
  };

  void Serve() {
    while (!stop_) {
      std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
      {
        std::lock_guard lock(mutex_);
        for (const Client& client : clients_) fds.push_back({client.fd, POLLIN, 0});
      }
      if (poll(fds.data(), fds.size(), -1) <= 0) continue;
      std::lock_guard lock(mutex_);
      if (fds[1].revents)
        clients_.push_back({accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC), false, {}});
      for (std::size_t i = 2; i < fds.size(); ++i) {
        if (!fds[i].revents) continue;
        for (Client& client : clients_) {
          if (client.fd == fds[i].fd && !Answer(client)) {
            // The client closed it: its number may be the next client's.
            if (lateFd_ == client.fd) lateFd_ = -1;
            close(client.fd);
            client.fd = -1;
          }
        }
        std::erase_if(clients_, [](const Client& client) { return client.fd < 0; });
      }
    }
  }

  // False once the client has closed the connection.
  bool Answer(Client& client) {
    char chunk[4096];
    const ssize_t got = read(client.fd, chunk, sizeof chunk);
    if (got <= 0) return false;
    client.reader.Append(chunk, static_cast<std::size_t>(got));
    while (std::optional<IpcMessage> message = client.reader.Next()) {
      if (mute_) {
        if (message->type == sway_ipc::kRunCommand) commands_.push_back(message->payload);
        continue;
      }
      if (lateFd_ >= 0) {
        const std::string late =
            EncodeIpcMessage(sway_ipc::kRunCommand, R"([{"success":false,"error":"late"}])");
        (void)!send(lateFd_, late.data(), late.size(), MSG_NOSIGNAL);
        lateFd_ = -1;
      }
      std::string reply;
      if (message->type == sway_ipc::kRunCommand) {
        commands_.push_back(message->payload);
        if (std::exchange(stallNext_, false)) {
          lateFd_ = client.fd;
          continue;
        }
        const bool refused =
            !refused_.empty() && message->payload.find(refused_) != std::string::npos;
        reply = refused ? R"([{"success":false,"error":"refused"}])" : R"([{"success":true}])";
      } else if (message->type == sway_ipc::kSubscribe) {
        client.subscribed = true;
        reply = R"({"success":true})";
      } else if (message->type == sway_ipc::kGetConfig) {
        reply = "{\"config\":" + JsonString(config_) + "}";
      }
      const std::string bytes = EncodeIpcMessage(message->type, reply);
      EXPECT_EQ(write(client.fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    return true;
  }

  std::string folder_;
  std::string path_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  std::atomic<bool> stop_{false};
  std::thread server_;
  std::mutex mutex_;
  std::vector<Client> clients_;
  std::vector<std::string> commands_;
  std::string config_;
  std::string refused_;
  bool mute_ = false;
  bool stallNext_ = false;
  int lateFd_ = -1;  // the connection whose reply is late
};

// The process's descriptors that a program it starts would inherit.
std::set<int> Inheritable() {
  std::set<int> fds;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    const int fd = std::stoi(entry.path().filename().string());
    const int flags = fcntl(fd, F_GETFD);
    if (flags >= 0 && !(flags & FD_CLOEXEC)) fds.insert(fd);
  }
  return fds;
}

class SwayHotkeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    inheritable_ = Inheritable();
    hotkey_ = SwayHotkey::Connect([this](bool down) { edges_.push_back(down); }, sway_.Path());
    ASSERT_TRUE(hotkey_);
    sway_.TakeCommands();
  }

  std::string Down() const { return hotkey_->Events().DownName(); }
  std::string Up() const { return hotkey_->Events().UpName(); }

  void Run(const std::string& name) {
    sway_.SendEvent(sway_ipc::kBindingEvent, R"({"change":"run","binding":{"command":"nop )" +
                                                 name + R"(","input_type":"keyboard"}})");
  }

  // What the event loop does when the descriptor is readable.
  bool Deliver() {
    pollfd readable{hotkey_->EventFd(), POLLIN, 0};
    EXPECT_EQ(poll(&readable, 1, 2000), 1) << "nothing came from sway";
    return hotkey_->ProcessEvents();
  }

  FakeSway sway_;
  std::set<int> inheritable_;
  std::vector<bool> edges_;
  std::unique_ptr<SwayHotkey> hotkey_;
};

TEST_F(SwayHotkeyTest, Watch_BindsPressAndRelease_ReportsEveryRunOnlyFromTheEventLoop) {
  ASSERT_TRUE(hotkey_->Watch(0x77));
  EXPECT_TRUE(hotkey_->Watching());
  EXPECT_EQ(sway_.TakeCommands(), (std::vector<std::string>{
                                      "bindsym F8 nop " + Down(),
                                      "bindsym --release F8 nop " + Up(),
                                  }));
  Run(Down());
  Run("snapwick-1-00-down");  // another copy of the program
  EXPECT_TRUE(edges_.empty());
  EXPECT_TRUE(Deliver());
  EXPECT_EQ(edges_, (std::vector<bool>{true}));
  Run(Down());  // a repeat
  Run(Up());
  while (edges_.size() < 3) ASSERT_TRUE(Deliver());
  EXPECT_EQ(edges_, (std::vector<bool>{true, true, false}));
}

TEST_F(SwayHotkeyTest, NewKey_OldOneGivenBack_ThenNewBound) {
  ASSERT_TRUE(hotkey_->Watch(0x77));
  sway_.TakeCommands();
  ASSERT_TRUE(hotkey_->Watch(0x2C));
  EXPECT_EQ(sway_.TakeCommands(), (std::vector<std::string>{
                                      "unbindsym F8",
                                      "unbindsym --release F8",
                                      "bindsym Print nop " + Down(),
                                      "bindsym --release Print nop " + Up(),
                                  }));
  EXPECT_FALSE(hotkey_->Watch(0));
  EXPECT_EQ(sway_.TakeCommands(),
            (std::vector<std::string>{"unbindsym Print", "unbindsym --release Print"}));
}

TEST_F(SwayHotkeyTest, ReleaseBindingRefused_NothingLeftBound_NotWatching) {
  sway_.Refuse("--release");
  EXPECT_FALSE(hotkey_->Watch(0x77));
  EXPECT_FALSE(hotkey_->Watching());
  const std::vector<std::string> commands = sway_.TakeCommands();
  ASSERT_EQ(commands.size(), 4u);
  EXPECT_EQ(commands[2], "unbindsym F8");
  // Nothing more to give back at the end.
  hotkey_.reset();
  EXPECT_TRUE(sway_.TakeCommands().empty());
}

TEST_F(SwayHotkeyTest, KeyInUsersConfiguration_NotTaken_NotEvenAfterAReload) {
  sway_.SetConfig("set $mod Mod4\nbindsym F8 exec grim ~/shot.png\n");
  EXPECT_FALSE(hotkey_->Watch(0x77));
  EXPECT_TRUE(sway_.TakeCommands().empty());
  // What was refused stays unwatched: the caller was told so.
  sway_.SetConfig("");
  sway_.SendEvent(sway_ipc::kWorkspaceEvent, R"({"change":"reload"})");
  ASSERT_TRUE(Deliver());
  EXPECT_TRUE(sway_.TakeCommands().empty());
  EXPECT_FALSE(hotkey_->Watching());
  EXPECT_TRUE(hotkey_->Watch(0x78));
}

// A reply that comes too late is given up with its connection: the command
// goes again over a new one, and the late reply can never be taken for a
// later request's (it is a failure here).
TEST_F(SwayHotkeyTest, SlowReply_SentAgainOverANewConnection_LateReplyNeverTaken) {
  sway_.StallNextCommand();
  ASSERT_TRUE(hotkey_->Watch(0x77));
  EXPECT_EQ(sway_.TakeCommands(), (std::vector<std::string>{
                                      "bindsym F8 nop " + Down(),
                                      "bindsym F8 nop " + Down(),
                                      "bindsym --release F8 nop " + Up(),
                                  }));
  // The key is given back after another slow moment, and nothing of the
  // connections opened meanwhile leaks into programs the user starts.
  sway_.StallNextCommand();
  EXPECT_FALSE(hotkey_->Watch(0));
  EXPECT_EQ(sway_.TakeCommands(),
            (std::vector<std::string>{"unbindsym F8", "unbindsym F8", "unbindsym --release F8"}));
  EXPECT_EQ(Inheritable(), inheritable_);
}

TEST_F(SwayHotkeyTest, SwayHangs_WatchGivesUp_ThenWorksOnceSwayAnswersAgain) {
  sway_.Mute();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(hotkey_->Watch(0x77));
  // Two tries of one request (the configuration), half a second each.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
  EXPECT_FALSE(hotkey_->Watching());
  sway_.Mute(false);
  EXPECT_TRUE(hotkey_->Watch(0x77));
}

TEST_F(SwayHotkeyTest, UnbindableCode_NothingSent) {
  EXPECT_FALSE(hotkey_->Watch(0xBA));
  EXPECT_FALSE(hotkey_->Watch(0x07));
  EXPECT_TRUE(sway_.TakeCommands().empty());
}

TEST_F(SwayHotkeyTest, Reload_BoundAgain) {
  ASSERT_TRUE(hotkey_->Watch(0x10));  // two keys: both bound again
  sway_.TakeCommands();
  sway_.SendEvent(sway_ipc::kWorkspaceEvent, R"({"change":"reload"})");
  ASSERT_TRUE(Deliver());
  EXPECT_EQ(hotkey_->Reloads(), 1);
  EXPECT_EQ(sway_.TakeCommands(), (std::vector<std::string>{
                                      "bindsym Shift_L nop " + Down(),
                                      "bindsym --release Shift_L nop " + Up(),
                                      "bindsym Shift_R nop " + Down(),
                                      "bindsym --release Shift_R nop " + Up(),
                                  }));
  EXPECT_TRUE(hotkey_->Watching());
}

TEST_F(SwayHotkeyTest, Unbound_ReloadBindsNothing) {
  ASSERT_TRUE(hotkey_->Watch(0x77));
  hotkey_->Unbind();
  sway_.TakeCommands();
  sway_.SendEvent(sway_ipc::kWorkspaceEvent, R"({"change":"reload"})");
  ASSERT_TRUE(Deliver());
  EXPECT_TRUE(sway_.TakeCommands().empty());
  EXPECT_FALSE(hotkey_->Watching());
}

TEST_F(SwayHotkeyTest, Reload_ConfigurationNowHasTheKey_LeftToTheUser_UntilItNoLongerHas) {
  ASSERT_TRUE(hotkey_->Watch(0x77));
  sway_.TakeCommands();
  const auto reload = [this](const std::string& config) {
    sway_.SetConfig(config);
    sway_.SendEvent(sway_ipc::kWorkspaceEvent, R"({"change":"reload"})");
    ASSERT_TRUE(Deliver());
  };
  reload("bindsym F8 exec grim\n");
  EXPECT_FALSE(hotkey_->Watching());
  EXPECT_TRUE(sway_.TakeCommands().empty());
  reload("");
  EXPECT_TRUE(hotkey_->Watching());
  EXPECT_EQ(sway_.TakeCommands(), (std::vector<std::string>{
                                      "bindsym F8 nop " + Down(),
                                      "bindsym --release F8 nop " + Up(),
                                  }));
  reload("bindsym F8 exec grim\n");
  // Ours went with the reload: unbinding now would remove the user's.
  hotkey_.reset();
  EXPECT_TRUE(sway_.TakeCommands().empty());
}

TEST_F(SwayHotkeyTest, SwayGone_HeldKeyUp_ThenNoMoreEvents) {
  ASSERT_TRUE(hotkey_->Watch(0x77));
  Run(Down());
  ASSERT_TRUE(Deliver());
  sway_.CloseClients();
  EXPECT_FALSE(Deliver());
  EXPECT_EQ(edges_, (std::vector<bool>{true, false}));
  EXPECT_FALSE(hotkey_->Watching());
  EXPECT_FALSE(hotkey_->Watch(0x77));
}

TEST_F(SwayHotkeyTest, End_KeyGivenBack) {
  ASSERT_TRUE(hotkey_->Watch(0x77));
  sway_.TakeCommands();
  hotkey_.reset();
  EXPECT_EQ(sway_.TakeCommands(),
            (std::vector<std::string>{"unbindsym F8", "unbindsym --release F8"}));
}

// The hotkey as the Linux platform watches it under sway.
class SwayHotkeySourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source_ = SwayHotkeySource::Connect(
        [this]() {
          ++layoutAsked_;
          return firstLayout_;
        },
        sway_.Path());
    ASSERT_TRUE(source_);
    source_->SetKeyHandler([this](KeySeen seen) { edges_.push_back(seen == KeySeen::Down); });
    sway_.TakeCommands();
  }
  void TearDown() override {
    source_.reset();
    if (firstLayout_) xkb_keymap_unref(firstLayout_);
  }

  std::string Down() const { return source_->Hotkey().Events().DownName(); }
  std::string Up() const { return source_->Hotkey().Events().UpName(); }
  void Run(const std::string& name) {
    sway_.SendEvent(sway_ipc::kBindingEvent, R"({"change":"run","binding":{"command":"nop )" +
                                                 name + R"(","input_type":"keyboard"}})");
  }
  void SetFirstLayout(const char* layouts) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    const xkb_rule_names names{"evdev", "pc105", layouts, "", ""};
    if (firstLayout_) xkb_keymap_unref(firstLayout_);
    firstLayout_ = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    xkb_context_unref(context);
    ASSERT_NE(firstLayout_, nullptr);
  }
  // The platform's event loop: the descriptor readable, then Dispatch.
  void Deliver() {
    pollfd readable{source_->EventFd(), POLLIN, 0};
    ASSERT_EQ(poll(&readable, 1, 2000), 1) << "nothing came from sway";
    source_->Dispatch();
  }

  FakeSway sway_;
  std::vector<bool> edges_;
  xkb_keymap* firstLayout_ = nullptr;
  int layoutAsked_ = 0;
  std::unique_ptr<SwayHotkeySource> source_;
};

TEST_F(SwayHotkeySourceTest, BoundKey_RepeatsAsDownsFromDispatchOnly_RefusedKeyWatchesNothing) {
  EXPECT_EQ(source_->Watch(0x77), HotkeyWatch::Repeats);
  Run(Down());
  EXPECT_TRUE(edges_.empty());
  Deliver();
  EXPECT_EQ(edges_, (std::vector<bool>{true}));
  Run(Down());
  Run(Up());
  while (edges_.size() < 3) Deliver();
  EXPECT_EQ(edges_, (std::vector<bool>{true, true, false}));
  sway_.TakeCommands();
  sway_.Refuse("F9");
  EXPECT_EQ(source_->Watch(0x78), HotkeyWatch::None);
  // F8 was given back before F9 was tried, and nothing is left bound.
  const std::vector<std::string> commands = sway_.TakeCommands();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.front(), "unbindsym F8");
  EXPECT_FALSE(source_->Hotkey().Watching());
  // A key no binding can name.
  EXPECT_EQ(source_->Watch(0xBA), HotkeyWatch::None);
}

TEST_F(SwayHotkeySourceTest, RefusedKey_ToldAsNoKeyOnceFromTheEventLoop_BoundKeyNeverTold) {
  std::vector<std::string> told;
  source_->SetBoundHandler([&told](std::string_view key) { told.emplace_back(key); });
  ASSERT_EQ(source_->Watch(0x77), HotkeyWatch::Repeats);
  EXPECT_FALSE(source_->Pending());
  sway_.Refuse("F9");
  ASSERT_EQ(source_->Watch(0x78), HotkeyWatch::None);
  EXPECT_TRUE(told.empty()) << "told from inside Watch";
  ASSERT_TRUE(source_->Pending());
  source_->Dispatch();
  source_->Dispatch();
  EXPECT_EQ(told, (std::vector<std::string>{""}));
  EXPECT_FALSE(source_->Pending());
  // A refusal taken back by the next Watch before the loop came round is
  // never told.
  ASSERT_EQ(source_->Watch(0xBA), HotkeyWatch::None);
  ASSERT_EQ(source_->Watch(0x77), HotkeyWatch::Repeats);
  EXPECT_FALSE(source_->Pending());
  source_->Dispatch();
  EXPECT_EQ(told.size(), 1U);
}

// A reload whose configuration binds the key itself leaves the program
// without it: told as no key, and the key again, by the settings panel's
// name for it, once a later reload lets it be bound.
TEST_F(SwayHotkeySourceTest, ReloadTakesTheKey_ToldAsNone_ALaterReloadGivesItBack_ToldByName) {
  std::vector<std::string> told;
  source_->SetBoundHandler([&told](std::string_view key) { told.emplace_back(key); });
  SetFirstLayout("us");
  ASSERT_EQ(source_->Watch('A'), HotkeyWatch::Repeats);
  const auto reload = [this](const std::string& config) {
    sway_.SetConfig(config);
    sway_.SendEvent(sway_ipc::kWorkspaceEvent, R"({"change":"reload"})");
    Deliver();
  };
  reload("bindsym a exec grim\n");
  EXPECT_EQ(told, (std::vector<std::string>{""}));
  reload("");
  EXPECT_EQ(told, (std::vector<std::string>{"", "A"}));
  reload("");
  EXPECT_EQ(told.size(), 2U) << "told again without a change";
}

TEST_F(SwayHotkeySourceTest, NoKey_TheOldOneGivenBack) {
  ASSERT_EQ(source_->Watch(0x2C), HotkeyWatch::Repeats);
  sway_.TakeCommands();
  EXPECT_EQ(source_->Watch(0), HotkeyWatch::None);
  EXPECT_EQ(sway_.TakeCommands(),
            (std::vector<std::string>{"unbindsym Print", "unbindsym --release Print"}));
}

// A Russian first layout has no Latin letters: with the seat's keymap the
// letter is the US keyboard's key, by its code; the keymap is asked anew
// at every Watch, as the seat's may have changed.
TEST_F(SwayHotkeySourceTest, SeatsFirstLayout_AskedAtEveryWatch_DecidesTheLetter) {
  ASSERT_EQ(source_->Watch('F'), HotkeyWatch::Repeats);
  EXPECT_EQ(layoutAsked_, 1);
  EXPECT_EQ(sway_.TakeCommands().front().rfind("bindsym --to-code f ", 0), 0u);
  SetFirstLayout("ru,us");
  ASSERT_EQ(source_->Watch('F'), HotkeyWatch::Repeats);
  EXPECT_EQ(layoutAsked_, 2);
  const std::vector<std::string> commands = sway_.TakeCommands();
  ASSERT_EQ(commands.size(), 4u);
  // KEY_F (33) + 8.
  EXPECT_EQ(commands[2], "bindcode 41 nop " + Down());
}

TEST_F(SwayHotkeySourceTest, SwayGone_HeldKeyUp_DescriptorGone_NothingWatched) {
  ASSERT_EQ(source_->Watch(0x77), HotkeyWatch::Repeats);
  Run(Down());
  Deliver();
  const int fd = source_->EventFd();
  EXPECT_GE(fd, 0);
  sway_.CloseClients();
  Deliver();
  EXPECT_EQ(edges_, (std::vector<bool>{true, false}));
  EXPECT_EQ(source_->EventFd(), -1);
  // Dispatch again (a late wake-up) reads nothing and reports nothing.
  source_->Dispatch();
  EXPECT_EQ(edges_.size(), 2u);
  EXPECT_EQ(source_->Watch(0x77), HotkeyWatch::None);
}

// Sets an environment variable for the scope; restores it after.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(FindSwaySocketTest, Variables_ThenRuntimeFolderOfARunningSway) {
  char folder[] = "/tmp/snapwick-runtime.XXXXXX";
  const std::string runtime = mkdtemp(folder);
  const std::string uid = std::to_string(getuid());
  // A socket of a sway that ended, one of another user, and ours.
  const std::string dead = runtime + "/sway-ipc." + uid + ".99999999.sock";
  const std::string foreign = runtime + "/sway-ipc." + std::to_string(getuid() + 1) + "." +
                              std::to_string(getpid()) + ".sock";
  const std::string alive = runtime + "/sway-ipc." + uid + "." + std::to_string(getpid()) + ".sock";
  const int sockets[] = {ListenAt(dead), ListenAt(foreign), ListenAt(alive)};
  const std::string other = runtime + "/other.sock";
  const int otherSocket = ListenAt(other);

  const std::string notASocket = runtime + "/plain";
  {
    std::FILE* f = std::fopen(notASocket.c_str(), "w");
    std::fclose(f);
  }
  {
    ScopedEnv sway("SWAYSOCK", &other), i3("I3SOCK", nullptr), xdg("XDG_RUNTIME_DIR", &runtime);
    EXPECT_EQ(FindSwaySocket(), other);
  }
  {
    ScopedEnv sway("SWAYSOCK", &notASocket), i3("I3SOCK", &other), xdg("XDG_RUNTIME_DIR", &runtime);
    EXPECT_EQ(FindSwaySocket(), other);
  }
  {
    ScopedEnv sway("SWAYSOCK", nullptr), i3("I3SOCK", nullptr), xdg("XDG_RUNTIME_DIR", &runtime);
    EXPECT_EQ(FindSwaySocket(), alive);
  }
  {
    const std::string empty = runtime + "/none";
    fs::create_directory(empty);
    ScopedEnv sway("SWAYSOCK", nullptr), i3("I3SOCK", nullptr), xdg("XDG_RUNTIME_DIR", &empty);
    EXPECT_EQ(FindSwaySocket(), std::nullopt);
    EXPECT_FALSE(SwayHotkey::Connect(nullptr));
  }
  for (int fd : sockets) close(fd);
  close(otherSocket);
  fs::remove_all(runtime);
}

TEST(SwayHotkeyConnectTest, NoSwayAtThePath_Nothing) {
  EXPECT_FALSE(SwayHotkey::Connect(nullptr, "/nonexistent/sway-ipc.sock"));
}

}  // namespace
}  // namespace snapwick::wayland
