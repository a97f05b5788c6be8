#include "platform/linux/linux_platform.h"
#include "quiet_events.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QtTest/qtestspontaneevent.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/main_window_logic.h"
#include "linux/event_loop.h"
#include "platform/linux/compositor_key_command.h"
#include "temp_folder.h"

namespace snapwick::linux {
namespace {

// What happened, in order, as the core and the session's parts saw it.
using Log = std::vector<std::string>;
using testing::RunFor;
using testing::RunUntil;

struct FakeHotkey final : HotkeySource {
  explicit FakeHotkey(Log& log) : log(log) {}
  ~FakeHotkey() override { log.push_back("gone"); }
  void SetKeyHandler(KeyHandler handler) override {
    onEdge = [handler](bool down) { handler(down ? KeySeen::Down : KeySeen::Up); };
  }
  void SetBoundHandler(BoundHandler handler) override { onBound = std::move(handler); }
  HotkeyWatch Watch(int virtualKey) override {
    log.push_back("watch " + std::to_string(virtualKey));
    return answer;
  }
  int EventFd() const override { return fd; }
  void Dispatch() override {
    log.push_back("dispatch");
    if (onDispatch) onDispatch();
    for (const bool down : std::exchange(waiting, {})) onEdge(down);
  }
  bool Pending() const override { return !waiting.empty(); }
  void Sample() override {
    log.push_back("sample");
    if (sampleEdge) onEdge(*std::exchange(sampleEdge, std::nullopt));
  }

  Log& log;
  HotkeyWatch answer = HotkeyWatch::Edges;
  std::function<void(bool down)> onEdge;
  BoundHandler onBound;
  std::vector<bool> waiting;  // read, not handed out yet
  std::optional<bool> sampleEdge;
  int fd = -1;
  std::function<void()> onDispatch;
};

struct FakeScreen final : ScreenSource {
  void SetGrabbedHandler(GrabbedHandler handler) override { onGrabbed = std::move(handler); }
  ScreenGrab Grab() override {
    if (later) return {ScreenGrab::State::Pending, {}};
    return {ScreenGrab::State::Ready, Frame{pixels, 2, 1, 8, PixelLayout::Xrgb, true}};
  }
  void SetWanted(bool on) override { wanted = on; }
  std::uint8_t pixels[8] = {};
  bool later = false;
  bool wanted = false;
  GrabbedHandler onGrabbed;
};

// The core's side: records each event and how deep inside another one it
// came.
struct Core final : snapwick::testing::QuietEvents {
  explicit Core(Log& log) : log(log) {}
  void OnHotkey(KeySeen seen) override {
    static constexpr const char* kNames[] = {"down", "up", "down now", "up now"};
    Note(kNames[static_cast<int>(seen)]);
  }
  void OnScreenGrabbed(std::optional<Frame> frame) override {
    Note(frame ? "frame " + std::to_string(frame->width) : "no frame");
  }
  void OnHotkeyBound(std::string_view keyName) override { Note("bound " + std::string(keyName)); }
  void OnCompositorKey(CompositorKey key) override {
    static constexpr const char* kNames[] = {"binding press", "binding down", "binding up"};
    Note(kNames[static_cast<int>(key)]);
  }
  void OnTick() override {
    Note("tick");
    ++depth;
    if (duringTick) duringTick();
    --depth;
  }
  void Note(const std::string& what) { log.push_back(depth > 0 ? "nested " + what : what); }

  Log& log;
  int depth = 0;
  std::function<void()> duringTick;
};

int Count(const Log& log, const std::string& what) {
  return static_cast<int>(std::count(log.begin(), log.end(), what));
}

class LinuxPlatformTest : public ::testing::Test {
 protected:
  void Make(bool withHotkey = true, bool withScreen = false) {
    SessionParts parts;
    if (withHotkey) {
      auto made = std::make_unique<FakeHotkey>(log_);
      hotkey_ = made.get();
      parts.hotkey = std::move(made);
    }
    if (withScreen) {
      auto made = std::make_unique<FakeScreen>();
      screen_ = made.get();
      parts.screen = std::move(made);
    }
    platform_ = std::make_unique<LinuxPlatform>(std::move(parts), ":test");
    ASSERT_TRUE(platform_->Create(core_));
  }

  Log log_;
  Core core_{log_};
  FakeHotkey* hotkey_ = nullptr;
  FakeScreen* screen_ = nullptr;
  std::unique_ptr<LinuxPlatform> platform_;
};

TEST_F(LinuxPlatformTest, WatchHotkey_TheSourcesAnswerOrNoneWithoutASource) {
  Make();
  hotkey_->answer = HotkeyWatch::AtTicks;
  EXPECT_EQ(platform_->WatchHotkey(0x77), HotkeyWatch::AtTicks);
  EXPECT_EQ(log_, Log{"watch 119"});

  LinuxPlatform none(SessionParts{}, ":test");
  EXPECT_EQ(none.WatchHotkey(0x77), HotkeyWatch::None);
}

TEST_F(LinuxPlatformTest, GrabScreen_TheSourcesFrameOrNothingWithoutASource) {
  Make(true, true);
  const auto grab = platform_->GrabScreen();
  ASSERT_EQ(grab.state, ScreenGrab::State::Ready);
  EXPECT_EQ(grab.frame.layout, PixelLayout::Xrgb);
  EXPECT_TRUE(grab.frame.bottomUp);
  EXPECT_EQ(platform_->SetScreenWanted(true), Status::Ok);
  EXPECT_TRUE(screen_->wanted);

  // A frame that comes later reaches the core as an event, not once the
  // program has closed.
  screen_->later = true;
  EXPECT_EQ(platform_->GrabScreen().state, ScreenGrab::State::Pending);
  screen_->onGrabbed(grab.frame);
  screen_->onGrabbed(std::nullopt);
  EXPECT_EQ(log_, (Log{"frame 2", "no frame"}));
  platform_->CloseWindow();
  screen_->onGrabbed(grab.frame);
  EXPECT_EQ(log_.size(), 2u);

  LinuxPlatform none(SessionParts{}, ":test");
  EXPECT_EQ(none.GrabScreen().state, ScreenGrab::State::Failed);
}

TEST_F(LinuxPlatformTest, Ticking_NoneAtOnceThenASampleJustBeforeEveryTick) {
  Make();
  ASSERT_EQ(platform_->SetTicking(true), Status::Ok);
  QCoreApplication::processEvents();
  EXPECT_EQ(Count(log_, "tick"), 0);
  ASSERT_TRUE(RunUntil([&] { return Count(log_, "tick") >= 3; }));
  ASSERT_EQ(platform_->SetTicking(false), Status::Ok);
  EXPECT_EQ(log_, (Log{"sample", "tick", "sample", "tick", "sample", "tick"}));
  // Stopped: not one more, however long the loop runs.
  EXPECT_FALSE(RunUntil([&] { return Count(log_, "tick") > 3; }));
}

// A sample's edge comes before the tick it was sampled for, each on its
// own, never inside another event.
TEST_F(LinuxPlatformTest, EdgeFoundBySample_RaisedBeforeItsTick) {
  Make();
  hotkey_->sampleEdge = true;
  platform_->SetTicking(true);
  ASSERT_TRUE(RunUntil([&] { return Count(log_, "tick") >= 1; }));
  platform_->SetTicking(false);
  EXPECT_EQ(log_, (Log{"sample", "down", "tick"}));
}

// A grab waiting for its reply reads the key's events off the connection
// where the socket no longer shows them: they reach the core once the
// tick is over, not in the middle of it, and not only at the next key.
TEST_F(LinuxPlatformTest, EdgesReadDuringATick_RaisedAfterTheTickReturns) {
  Make();
  core_.duringTick = [&] {
    if (Count(log_, "tick") == 1) hotkey_->waiting = {false, true};
  };
  platform_->SetTicking(true);
  ASSERT_TRUE(RunUntil([&] { return Count(log_, "down") == 1; }));
  platform_->SetTicking(false);
  const Log expected{"sample", "tick", "dispatch", "up", "down"};
  ASSERT_GE(log_.size(), expected.size());
  EXPECT_EQ(Log(log_.begin(), log_.begin() + 5), expected);
  EXPECT_EQ(Count(log_, "nested up") + Count(log_, "nested down"), 0);
}

TEST_F(LinuxPlatformTest, TickingTurnedOnTwice_OneTickAnInterval) {
  Make();
  platform_->SetTicking(true);
  ASSERT_TRUE(RunUntil([&] { return Count(log_, "tick") >= 1; }));
  // Turning it on again while it runs neither restarts nor doubles it.
  platform_->SetTicking(true);
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(RunUntil([&] { return Count(log_, "tick") >= 5; }));
  platform_->SetTicking(false);
  // Four intervals of 50 ms: a doubled timer would take half of that.
  EXPECT_GE(clock.elapsed(), 150);
}

TEST_F(LinuxPlatformTest, KeyInForce_ReachesTheCoreUntilTheProgramHasClosed) {
  Make();
  ASSERT_TRUE(hotkey_->onBound);
  hotkey_->onBound("Ctrl+F8");
  hotkey_->onBound("");
  EXPECT_EQ(log_, (Log{"bound Ctrl+F8", "bound "}));
  ASSERT_EQ(platform_->CloseWindow(), Status::Ok);
  hotkey_->onBound("F8");
  hotkey_->onEdge(true);
  EXPECT_EQ(log_, (Log{"bound Ctrl+F8", "bound "}));
}

TEST_F(LinuxPlatformTest, KeyCaptureBeforeTheWindow_Failed) {
  LinuxPlatform early(SessionParts{}, ":test");
  EXPECT_EQ(early.SetKeyCapture(true), Status::Failed);
  Make();
  EXPECT_EQ(platform_->SetKeyCapture(true), Status::Ok);
  EXPECT_EQ(platform_->SetKeyCapture(false), Status::Ok);
}

// The compositor's key commands reach the core once this copy holds the
// single-instance lock, from the event loop, and not once it has closed;
// a second copy takes no door from the first, and the door goes with the
// copy that opened it.
TEST(LinuxPlatformDoor, CompositorKeys_ReachTheCopyThatHoldsTheLock_UntilItCloses) {
  const snapwick::testing::TempFolder runtime;
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string was = saved ? saved : "";
  ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
  const std::string door = KeyDoorPath(runtime.Path(), ":door");
  {
    Log log;
    Core core(log);
    LinuxPlatform platform(SessionParts{}, ":door");
    ASSERT_TRUE(platform.Create(core));
    EXPECT_EQ(SendCompositorKey(door, CompositorKey::Press), KeySent::NoRunningCopy);
    ASSERT_FALSE(platform.AnotherInstanceRunning());
    {
      LinuxPlatform second(SessionParts{}, ":door");
      EXPECT_TRUE(second.AnotherInstanceRunning());
    }
    ASSERT_EQ(SendCompositorKey(door, CompositorKey::Down), KeySent::Sent);
    ASSERT_EQ(SendCompositorKey(door, CompositorKey::Up), KeySent::Sent);
    EXPECT_TRUE(log.empty());
    ASSERT_TRUE(RunUntil([&] { return log.size() >= 2; }));
    EXPECT_EQ(log, (Log{"binding down", "binding up"}));
    ASSERT_EQ(platform.CloseWindow(), Status::Ok);
    ASSERT_EQ(SendCompositorKey(door, CompositorKey::Press), KeySent::Sent);
    RunFor(100);
    EXPECT_EQ(log.size(), 2u);
  }
  EXPECT_EQ(SendCompositorKey(door, CompositorKey::Press), KeySent::NoRunningCopy);
  if (saved) {
    ::setenv("XDG_RUNTIME_DIR", was.c_str(), 1);
  } else {
    ::unsetenv("XDG_RUNTIME_DIR");
  }
}

// A source whose server went away closes its descriptor; the next file the
// program opens may get the same number, perhaps before the event loop
// runs again (an edge read last makes a shot, whose file is opened at
// once), and must not wake the source.
TEST(LinuxPlatformSource, DescriptorGone_NotWatchedAgain_EvenUnderItsOldNumber) {
  int first[2];
  ASSERT_EQ(pipe2(first, O_CLOEXEC), 0);
  const int number = first[0];
  int second[2] = {-1, -1};
  Log log;
  auto made = std::make_unique<FakeHotkey>(log);
  FakeHotkey* hotkey = made.get();
  hotkey->fd = first[0];
  hotkey->onDispatch = [&] {
    if (hotkey->fd < 0) return;
    close(first[0]);
    hotkey->fd = -1;
    // Another file under the same number, with something to read.
    if (pipe2(second, O_CLOEXEC) != 0) return;
    if (second[0] != number) {
      dup3(second[0], number, O_CLOEXEC);
      close(second[0]);
      second[0] = number;
    }
    (void)!write(second[1], "y", 1);
  };
  SessionParts parts;
  parts.hotkey = std::move(made);
  LinuxPlatform platform(std::move(parts), ":test");
  Log coreLog;
  Core core(coreLog);
  ASSERT_TRUE(platform.Create(core));
  ASSERT_EQ(write(first[1], "x", 1), 1);
  ASSERT_TRUE(RunUntil([&] { return Count(log, "dispatch") == 1; }));
  ASSERT_EQ(second[0], number);
  RunFor(300);
  EXPECT_EQ(Count(log, "dispatch"), 1);
  close(second[0]);
  close(second[1]);
  close(first[1]);
}

// Takes the Quit events that no one else takes, so that the test program
// itself goes on.
struct QuitSink final : QObject {
  QuitSink() { QCoreApplication::instance()->installEventFilter(this); }
  ~QuitSink() override { QCoreApplication::instance()->removeEventFilter(this); }
  bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::Quit; }
};

// Every way the program ends takes the hotkey back from the session (on
// sway: unbinds it), and the session's source goes with the platform.
TEST(LinuxPlatformEnd, EveryEnding_UnwatchesTheHotkey_ThenTheSourceGoes) {
  const QuitSink sink;
  const std::vector<std::pair<std::string, std::function<void(LinuxPlatform&)>>> endings = {
      {"Выход", [](LinuxPlatform& p) { p.CloseWindow(); }},
      {"SIGTERM", [](LinuxPlatform&) { std::raise(SIGTERM); }},
      {"SIGINT", [](LinuxPlatform&) { std::raise(SIGINT); }},
      {"SIGHUP", [](LinuxPlatform&) { std::raise(SIGHUP); }},
      {"the session's end",
       [](LinuxPlatform&) {
         QEvent quit(QEvent::Quit);
         QSpontaneKeyEvent::setSpontaneous(&quit);
         QCoreApplication::instance()->notify(QCoreApplication::instance(), &quit);
       }},
  };
  for (const auto& [name, end] : endings) {
    Log log;
    {
      SessionParts parts;
      parts.hotkey = std::make_unique<FakeHotkey>(log);
      LinuxPlatform platform(std::move(parts), ":test");
      MainWindowLogic logic(platform);
      ASSERT_TRUE(platform.Create(logic)) << name;
      ASSERT_EQ(log, Log{"watch 119"}) << name;
      end(platform);
      EXPECT_TRUE(RunUntil([&] { return platform.Closed(); })) << name;
      EXPECT_EQ(log, (Log{"watch 119", "watch 0"})) << name;
    }
    EXPECT_EQ(log, (Log{"watch 119", "watch 0", "gone"})) << name;
  }
}

}  // namespace
}  // namespace snapwick::linux
