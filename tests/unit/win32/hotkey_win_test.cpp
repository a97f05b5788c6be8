// The hotkey's edges: raw keyboard reports decoded, repeats and the other
// side of a modifier, samples at the ticks that correct what raw input
// missed, and the edges a real window raises from its message loop.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/hotkey_win.h"
#include "platform/win32/win32_platform.h"
#include "quiet_events.h"
#include "win32_test_support.h"

namespace snapwick::win32 {
namespace {

using testing::RunLoopUntil;

constexpr USHORT kE0 = RI_KEY_E0;
constexpr USHORT kUp = RI_KEY_BREAK;

RAWKEYBOARD Report(USHORT virtualKey, USHORT scan, USHORT flags = 0) {
  RAWKEYBOARD r{};
  r.MakeCode = scan;
  r.Flags = flags;
  r.VKey = virtualKey;
  r.Message = (flags & kUp) ? WM_KEYUP : WM_KEYDOWN;
  return r;
}

TEST(RawKeyOf, Reports_KeyInBothFormsOrNothing) {
  const struct {
    const char* name;
    RAWKEYBOARD report;
    std::optional<RawKey> key;
  } cases[] = {
      {"F8 down", Report(VK_F8, 0x42), RawKey{VK_F8, VK_F8, VK_F8 << 1, false}},
      {"F8 up", Report(VK_F8, 0x42, kUp), RawKey{VK_F8, VK_F8, VK_F8 << 1, true}},
      {"left Shift", Report(VK_SHIFT, 0x2A), RawKey{VK_SHIFT, VK_LSHIFT, VK_LSHIFT << 1, false}},
      {"right Shift", Report(VK_SHIFT, 0x36), RawKey{VK_SHIFT, VK_RSHIFT, VK_RSHIFT << 1, false}},
      {"fake Shift around Insert", Report(VK_SHIFT, 0x2A, kE0), std::nullopt},
      {"fake Shift released", Report(VK_SHIFT, 0x2A, kE0 | kUp), std::nullopt},
      {"left Ctrl", Report(VK_CONTROL, 0x1D),
       RawKey{VK_CONTROL, VK_LCONTROL, VK_LCONTROL << 1, false}},
      {"right Ctrl", Report(VK_CONTROL, 0x1D, kE0),
       RawKey{VK_CONTROL, VK_RCONTROL, (VK_RCONTROL << 1) | 1, false}},
      {"left Alt up", Report(VK_MENU, 0x38, kUp), RawKey{VK_MENU, VK_LMENU, VK_LMENU << 1, true}},
      {"right Alt", Report(VK_MENU, 0x38, kE0),
       RawKey{VK_MENU, VK_RMENU, (VK_RMENU << 1) | 1, false}},
      {"a driver's own right Shift code", Report(VK_RSHIFT, 0x36),
       RawKey{VK_SHIFT, VK_RSHIFT, VK_RSHIFT << 1, false}},
      {"a driver's own left Ctrl code", Report(VK_LCONTROL, 0x1D),
       RawKey{VK_CONTROL, VK_LCONTROL, VK_LCONTROL << 1, false}},
      {"Enter", Report(VK_RETURN, 0x1C), RawKey{VK_RETURN, VK_RETURN, VK_RETURN << 1, false}},
      {"the keypad's Enter", Report(VK_RETURN, 0x1C, kE0),
       RawKey{VK_RETURN, VK_RETURN, (VK_RETURN << 1) | 1, false}},
      {"Pause's prefix", Report(0xFF, 0x1D, RI_KEY_E1), std::nullopt},
      {"overrun", Report(0xFF, 0xFF), std::nullopt},
      {"no key", Report(0, 0x42), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(RawKeyOf(c.report), c.key) << c.name;
}

// A step of a timeline: a raw report, or a look at the key's state.
struct Step {
  std::optional<RAWKEYBOARD> report;
  bool sampledDown = false;
};
Step R(USHORT virtualKey, USHORT scan, USHORT flags = 0) {
  return {Report(virtualKey, scan, flags), false};
}
Step Sample(bool down) { return {std::nullopt, down}; }

std::string EdgesOf(int watched, const std::vector<Step>& steps) {
  HotkeyEdges edges;
  edges.Watch(watched);
  std::string seen;
  for (const Step& step : steps) {
    const auto edge = step.report ? edges.OnReport(*step.report) : edges.OnSample(step.sampledDown);
    if (edge) seen += *edge == KeyEdge::Down ? "D" : "U";
  }
  return seen;
}

TEST(HotkeyEdges, Timelines_OneDownAndOneUpPerPress) {
  const struct {
    const char* name;
    int watched;
    std::vector<Step> steps;
    const char* edges;
  } cases[] = {
      {"press, repeats, release",
       VK_F8,
       {R(VK_F8, 0x42), R(VK_F8, 0x42), R(VK_F8, 0x42), R(VK_F8, 0x42, kUp)},
       "DU"},
      {"two taps",
       VK_F8,
       {R(VK_F8, 0x42), R(VK_F8, 0x42, kUp), R(VK_F8, 0x42), R(VK_F8, 0x42, kUp)},
       "DUDU"},
      {"another key", VK_F8, {R(VK_F9, 0x43), R(VK_F9, 0x43, kUp)}, ""},
      {"a release never pressed", VK_F8, {R(VK_F8, 0x42, kUp)}, ""},
      {"Shift: down while either side is",
       VK_SHIFT,
       {R(VK_SHIFT, 0x2A), R(VK_SHIFT, 0x36), R(VK_SHIFT, 0x2A, kUp), R(VK_SHIFT, 0x36, kUp)},
       "DU"},
      {"Shift: the keyboard's fake ones around Insert",
       VK_SHIFT,
       {R(VK_SHIFT, 0x2A, kE0), R(VK_INSERT, 0x52, kE0), R(VK_INSERT, 0x52, kE0 | kUp),
        R(VK_SHIFT, 0x2A, kE0 | kUp)},
       ""},
      {"Shift held through a fake release",
       VK_SHIFT,
       {R(VK_SHIFT, 0x2A), R(VK_SHIFT, 0x2A, kE0 | kUp), R(VK_SHIFT, 0x2A), R(VK_SHIFT, 0x2A, kUp)},
       "DU"},
      {"left Shift alone: the right one is another key",
       VK_LSHIFT,
       {R(VK_SHIFT, 0x36), R(VK_SHIFT, 0x36, kUp), R(VK_SHIFT, 0x2A), R(VK_SHIFT, 0x2A, kUp)},
       "DU"},
      {"Ctrl: the right one",
       VK_CONTROL,
       {R(VK_CONTROL, 0x1D, kE0), R(VK_CONTROL, 0x1D, kE0 | kUp)},
       "DU"},
      {"right Alt alone: the left one is another key",
       VK_RMENU,
       {R(VK_MENU, 0x38), R(VK_MENU, 0x38, kUp), R(VK_MENU, 0x38, kE0)},
       "D"},
      {"Enter: both Enter keys, down while either is",
       VK_RETURN,
       {R(VK_RETURN, 0x1C), R(VK_RETURN, 0x1C, kE0), R(VK_RETURN, 0x1C, kUp),
        R(VK_RETURN, 0x1C, kE0 | kUp)},
       "DU"},
      {"a press raw input missed, seen by a sample",
       VK_F8,
       {Sample(false), Sample(true), Sample(true), Sample(false)},
       "DU"},
      {"the report of a press a sample saw first",
       VK_F8,
       {Sample(true), R(VK_F8, 0x42), R(VK_F8, 0x42), R(VK_F8, 0x42, kUp), Sample(false)},
       "DU"},
      {"a release raw input missed", VK_F8, {R(VK_F8, 0x42), Sample(true), Sample(false)}, "DU"},
      {"its report coming after the sample",
       VK_F8,
       {R(VK_F8, 0x42), Sample(false), R(VK_F8, 0x42, kUp)},
       "DU"},
      {"no key watched", 0, {R(VK_F8, 0x42), Sample(true), R(VK_F8, 0x42, kUp)}, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(EdgesOf(c.watched, c.steps), c.edges) << c.name;
}

TEST(HotkeyEdges, WatchedAnew_WhatWasDownIsForgotten) {
  HotkeyEdges edges;
  edges.Watch(VK_F8);
  ASSERT_EQ(edges.OnReport(Report(VK_F8, 0x42)), KeyEdge::Down);
  edges.Watch(VK_F9);
  EXPECT_FALSE(edges.Down());
  EXPECT_EQ(edges.OnReport(Report(VK_F8, 0x42, kUp)), std::nullopt);
  EXPECT_EQ(edges.OnReport(Report(VK_F9, 0x43)), KeyEdge::Down);
}

// The keyboard as the tests make it: whether raw input may be had, and
// the state GetAsyncKeyState reports for every key.
bool rawInputRefused = false;
bool keyStateDown = false;
BOOL WINAPI RegisterRawInput(PCRAWINPUTDEVICE devices, UINT count, UINT size) {
  if (rawInputRefused) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return ::RegisterRawInputDevices(devices, count, size);
}
SHORT WINAPI KeyState(int) { return keyStateDown ? static_cast<SHORT>(0x8000) : 0; }

class Timeline : public snapwick::testing::QuietEvents {
 public:
  std::vector<std::string> events;
  void OnHotkey(KeySeen seen) override {
    static constexpr const char* kNames[] = {"down", "up", "down now", "up now"};
    events.push_back(kNames[static_cast<int>(seen)]);
  }
  void OnTick() override { events.push_back("tick"); }

  bool Has(const std::string& event) const {
    return std::find(events.begin(), events.end(), event) != events.end();
  }
  // The event just before the first `event`, or "" when it came first.
  std::string Before(const std::string& event) const {
    const auto at = std::find(events.begin(), events.end(), event);
    return at == events.begin() || at == events.end() ? "" : *(at - 1);
  }
  // The event just after the first `event`, or "".
  std::string After(const std::string& event) const {
    const auto at = std::find(events.begin(), events.end(), event);
    return at == events.end() || at + 1 == events.end() ? "" : *(at + 1);
  }
};

SystemCalls FakeKeyboard() {
  SystemCalls calls;
  calls.keys.registerRawInputDevices = &RegisterRawInput;
  calls.keys.getAsyncKeyState = &KeyState;
  return calls;
}

class HotkeyWindowTest : public ::testing::Test {
 public:
  void SetUp() override { ASSERT_TRUE(p.CreateMainWindow(events)); }
  void TearDown() override {
    rawInputRefused = false;
    keyStateDown = false;
  }
  bool Run(const std::function<bool()>& done, DWORD ms = 3000) {
    return RunLoopUntil(p.Window(), done, ms);
  }

  Win32Platform p{::GetModuleHandleW(nullptr), FakeKeyboard()};
  Timeline events;
};

// Every tick comes just after a look at the key.
bool LookedBeforeEveryTick(const std::vector<std::string>& events) {
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (events[i] != "tick") continue;
    if (i == 0 || (events[i - 1] != "down now" && events[i - 1] != "up now")) return false;
  }
  return true;
}

TEST_F(HotkeyWindowTest, RawInputRefused_AtTicks_TheKeyAsSeenJustBeforeEachTick) {
  rawInputRefused = true;
  ASSERT_EQ(p.WatchHotkey(VK_F8), HotkeyWatch::AtTicks);
  ASSERT_EQ(p.SetTicking(true), Status::Ok);
  ASSERT_TRUE(Run([&] { return events.events.size() >= 4; }));
  EXPECT_FALSE(events.Has("down now")) << "a key that is up seen down";
  keyStateDown = true;
  ASSERT_TRUE(Run([&] { return events.After("down now") == "tick"; }));
  keyStateDown = false;
  ASSERT_TRUE(Run([&] {
    return events.events.back() == "tick" && events.Before("tick") == "up now" &&
           events.events.size() > 2 && events.events[events.events.size() - 2] == "up now";
  }));
  EXPECT_TRUE(LookedBeforeEveryTick(events.events)) << ::testing::PrintToString(events.events);
  EXPECT_FALSE(events.Has("down")) << "an edge without raw input";
}

TEST_F(HotkeyWindowTest, Edges_PressRawInputMissed_SeenBeforeTheNextTick) {
  ASSERT_EQ(p.WatchHotkey(VK_F8), HotkeyWatch::Edges);
  ASSERT_EQ(p.SetTicking(true), Status::Ok);
  keyStateDown = true;
  ASSERT_TRUE(Run([&] { return events.events.size() >= 4; }));
  EXPECT_EQ(events.events.front(), "down now") << "the first tick already saw the key down";
  EXPECT_TRUE(LookedBeforeEveryTick(events.events));
  EXPECT_FALSE(events.Has("up now"));
}

TEST_F(HotkeyWindowTest, NoKeyWatched_NoneAndTicksLookAtNoKey) {
  EXPECT_EQ(p.WatchHotkey(0), HotkeyWatch::None);
  keyStateDown = true;
  ASSERT_EQ(p.SetTicking(true), Status::Ok);
  ASSERT_TRUE(Run([&] { return events.events.size() >= 3; }));
  EXPECT_FALSE(events.Has("down now"));
  EXPECT_FALSE(events.Has("up now"));
}

// Presses and releases keys as the keyboard would.
void Send(std::initializer_list<std::pair<WORD, bool>> keys) {
  std::vector<INPUT> inputs;
  for (const auto& [key, up] : keys) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = key;
    in.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(in);
  }
  ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

TEST_F(HotkeyWindowTest, RealKeys_EdgesOfTheWatchedKeyFromTheLoop_RepeatsAndOtherKeysNot) {
  ASSERT_EQ(p.WatchHotkey(VK_F8), HotkeyWatch::Edges);
  p.ShowMainWindow();
  ::SetForegroundWindow(p.Window().Hwnd());
  Send({{'A', false}, {'A', true}, {VK_F8, false}, {VK_F8, false}, {VK_F8, false}, {VK_F8, true}});
  EXPECT_TRUE(events.events.empty()) << "an edge raised from inside SendInput";
  if (!Run([&] { return events.Has("up"); })) {
    GTEST_SKIP() << "no raw input reached the window: " << ::testing::PrintToString(events.events);
  }
  Run([] { return false; }, 200);
  EXPECT_EQ(events.events, (std::vector<std::string>{"down", "up"}));

  // Watching another key: F8 is any key now.
  events.events.clear();
  ASSERT_EQ(p.WatchHotkey(VK_F9), HotkeyWatch::Edges);
  Send({{VK_F8, false}, {VK_F8, true}, {VK_F9, false}, {VK_F9, true}});
  ASSERT_TRUE(Run([&] { return events.Has("up"); }));
  EXPECT_EQ(events.events, (std::vector<std::string>{"down", "up"}));

  // No key: no raw input is asked for any more.
  events.events.clear();
  ASSERT_EQ(p.WatchHotkey(0), HotkeyWatch::None);
  Send({{VK_F9, false}, {VK_F9, true}});
  Run([] { return false; }, 300);
  EXPECT_TRUE(events.events.empty()) << ::testing::PrintToString(events.events);
}

}  // namespace
}  // namespace snapwick::win32
