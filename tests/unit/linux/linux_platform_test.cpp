#include "platform/linux/linux_platform.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <string>
#include <vector>

namespace snapwick::linux {
namespace {

// What happened, in order, as the core and the session's parts saw it.
using Log = std::vector<std::string>;

struct FakeHotkey final : HotkeySource {
  explicit FakeHotkey(Log& log) : log(log) {}
  ~FakeHotkey() override { log.push_back("source gone"); }
  void SetEdgeHandler(EdgeHandler handler) override { onEdge = std::move(handler); }
  void SetBoundHandler(BoundHandler handler) override { onBound = std::move(handler); }
  HotkeyWatch Watch(int virtualKey) override {
    log.push_back("watch " + std::to_string(virtualKey));
    return answer;
  }
  void Dispatch() override {
    log.push_back("dispatch");
    for (const bool down : std::exchange(waiting, {})) onEdge(down);
  }
  bool Pending() const override { return !waiting.empty(); }
  void Sample() override {
    log.push_back("sample");
    if (sampleEdge) onEdge(*std::exchange(sampleEdge, std::nullopt));
  }

  Log& log;
  HotkeyWatch answer = HotkeyWatch::Edges;
  EdgeHandler onEdge;
  BoundHandler onBound;
  std::vector<bool> waiting;  // read, not handed out yet
  std::optional<bool> sampleEdge;
};

struct FakeScreen final : ScreenSource {
  std::optional<Frame> Grab() override { return Frame{pixels, 2, 1, 8, PixelLayout::Xrgb, true}; }
  std::uint8_t pixels[8] = {};
};

// The core's side: records each event and how deep inside another one it
// came.
struct Core final : WindowEvents {
  explicit Core(Log& log) : log(log) {}
  void OnStart() override {}
  bool OnCloseRequest(CloseOrigin) override { return false; }
  void OnHotkeyDown() override { Note("down"); }
  void OnHotkeyUp() override { Note("up"); }
  void OnHotkeyBound(std::string_view keyName) override { Note("bound " + std::string(keyName)); }
  void OnTick() override {
    Note("tick");
    ++depth;
    if (duringTick) duringTick();
    --depth;
  }
  void OnTrayEvent(TrayEvent) override {}
  void OnTrayRecreated() override {}
  void OnClick(ControlId) override {}
  void OnMenuItem(MenuItemId) override {}
  void OnQualityPicked() override {}
  void OnQualityEdited() override {}
  void OnKeyReleased(int, std::string_view) override {}
  void Note(const std::string& what) { log.push_back(depth > 0 ? "nested " + what : what); }

  Log& log;
  int depth = 0;
  std::function<void()> duringTick;
};

// Runs the event loop until `done` or two seconds have passed.
bool RunUntil(const std::function<bool()>& done) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 2000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
  }
  return done();
}

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
    if (withScreen) parts.screen = std::make_unique<FakeScreen>();
    platform_ = std::make_unique<LinuxPlatform>(std::move(parts), ":test");
    ASSERT_TRUE(platform_->Create(core_));
  }

  Log log_;
  Core core_{log_};
  FakeHotkey* hotkey_ = nullptr;
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
  const auto frame = platform_->GrabScreen();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->layout, PixelLayout::Xrgb);
  EXPECT_TRUE(frame->bottomUp);

  LinuxPlatform none(SessionParts{}, ":test");
  EXPECT_FALSE(none.GrabScreen());
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

// A desktop's shortcut session or sway's bindings go with their source:
// whichever way the program ends, the platform ends it.
TEST_F(LinuxPlatformTest, Closed_TheHotkeySourceGoesWithThePlatform) {
  Make();
  ASSERT_EQ(platform_->CloseWindow(), Status::Ok);
  EXPECT_TRUE(platform_->Closed());
  EXPECT_EQ(Count(log_, "source gone"), 0);
  platform_.reset();
  EXPECT_EQ(Count(log_, "source gone"), 1);
}

TEST_F(LinuxPlatformTest, KeyCaptureBeforeTheWindow_Failed) {
  LinuxPlatform early(SessionParts{}, ":test");
  EXPECT_EQ(early.SetKeyCapture(true), Status::Failed);
  Make();
  EXPECT_EQ(platform_->SetKeyCapture(true), Status::Ok);
  EXPECT_EQ(platform_->SetKeyCapture(false), Status::Ok);
}

}  // namespace
}  // namespace snapwick::linux
