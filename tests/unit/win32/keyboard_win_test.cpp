// The keyboard hook: which of its calls report a released key, the names of
// keys, and that every key still reaches the focused control.

#include "platform/win32/windows_inc.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/keyboard_win.h"
#include "win32_test_support.h"

namespace snapwick::win32 {
namespace {

using testing::PumpUntil;

// The keystroke flags of a key's press or release as the hook receives
// them: repeat count 1, the scan code, the extended-key bit, and for a
// release bits 30 and 31.
std::uint32_t Flags(UINT virtualKey, bool released, bool extended = false) {
  const UINT scan = ::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
  std::uint32_t flags = 1u | (scan << 16);
  if (released) flags |= (1u << 30) | (1u << 31);
  if (extended) flags |= 1u << 24;
  return flags;
}

LPARAM AsLParam(std::uint64_t bits) { return static_cast<LPARAM>(bits); }

TEST(ReleasedKey, HookCalls_OnlyActionsWithTheTransitionBitReport) {
  const std::uint32_t release = Flags('A', true);
  const std::uint32_t press = Flags('A', false);
  const struct {
    const char* name;
    int code;
    WPARAM key;
    LPARAM lParam;
    bool reported;
  } cases[] = {
      {"release", HC_ACTION, 'A', AsLParam(release), true},
      {"press", HC_ACTION, 'A', AsLParam(press), false},
      {"repeat of a held key", HC_ACTION, 'A', AsLParam(press | (1u << 30)), false},
      {"release peeked without removal", HC_NOREMOVE, 'A', AsLParam(release), false},
      {"no flags at all", HC_ACTION, VK_F8, 0, true},
      // Only the low 32 bits are the flags; 64-bit garbage above them
      // neither makes nor unmakes a release.
      {"press with high bits set", HC_ACTION, 'A', AsLParam(0xFFFFFFFF00000000ull | press), false},
      {"release with high bits clear", HC_ACTION, 'A', AsLParam(std::uint64_t{release}), true},
  };
  for (const auto& c : cases) {
    const auto key = ReleasedKey(c.code, c.key, c.lParam);
    ASSERT_EQ(key.has_value(), c.reported) << c.name;
    if (key) {
      EXPECT_EQ(key->virtualKey, static_cast<int>(c.key)) << c.name;
      EXPECT_EQ(key->flags, static_cast<std::int32_t>(static_cast<std::uint32_t>(c.lParam)))
          << c.name;
    }
  }
}

TEST(KeyNameOf, FunctionLetterAndDigitKeys_SystemNames) {
  const struct {
    UINT vk;
    const char* name;
  } cases[] = {{VK_F1, "F1"}, {VK_F8, "F8"}, {VK_F10, "F10"}, {VK_F12, "F12"},
               {'A', "A"},    {'Z', "Z"},    {'5', "5"}};
  for (const auto& c : cases) {
    EXPECT_EQ(KeyNameOf(static_cast<std::int32_t>(Flags(c.vk, true))), c.name) << c.vk;
  }
}

TEST(KeyNameOf, ScanCodeZero_NoName) {
  EXPECT_EQ(KeyNameOf(static_cast<std::int32_t>(0xC0000001u)), "");
}

TEST(KeyNameOf, ExtendedBit_NamesAnotherKey) {
  // The same scan code names the keypad's 4 and, extended, the Left arrow.
  const std::string keypad = KeyNameOf(static_cast<std::int32_t>(Flags(VK_LEFT, true, false)));
  const std::string arrow = KeyNameOf(static_cast<std::int32_t>(Flags(VK_LEFT, true, true)));
  ASSERT_FALSE(keypad.empty());
  ASSERT_FALSE(arrow.empty());
  EXPECT_NE(keypad, arrow);
}

struct Reported {
  int virtualKey;
  std::string name;
  bool operator==(const Reported&) const = default;
};

// A window of the test's own with an edit control that has the focus, as
// the hotkey box or the quality combo has it in the program.
class TypingWindow {
 public:
  TypingWindow() {
    window_ = ::CreateWindowExW(0, L"STATIC", L"typing", WS_POPUP | WS_VISIBLE, 200, 200, 200, 60,
                                nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    edit_ = ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 10, 10, 150, 24, window_,
                              nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowSubclass(edit_, &TypingWindow::Listen, 0, reinterpret_cast<DWORD_PTR>(this));
  }
  ~TypingWindow() { ::DestroyWindow(window_); }
  TypingWindow(const TypingWindow&) = delete;
  TypingWindow& operator=(const TypingWindow&) = delete;

  bool TakeFocus() {
    ::SetWindowTextW(edit_, L"");
    keyUps.clear();
    ::SetForegroundWindow(window_);
    ::SetFocus(edit_);
    return ::GetFocus() == edit_;
  }
  std::string Text() const { return WindowText(edit_); }

  // The keys whose release reached the edit control, in order.
  std::vector<WPARAM> keyUps;

 private:
  static LRESULT CALLBACK Listen(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                 DWORD_PTR self) {
    if (msg == WM_KEYUP) reinterpret_cast<TypingWindow*>(self)->keyUps.push_back(wParam);
    return ::DefSubclassProc(window, msg, wParam, lParam);
  }

  HWND window_ = nullptr;
  HWND edit_ = nullptr;
};

// Presses and releases a key as the keyboard would.
void Type(WORD virtualKey) {
  INPUT keys[2] = {};
  for (INPUT& k : keys) {
    k.type = INPUT_KEYBOARD;
    k.ki.wVk = virtualKey;
    k.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
  }
  keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
  ::SendInput(2, keys, sizeof(INPUT));
}

TypingWindow* sharedWindow = nullptr;

class KeyboardHookTest : public ::testing::Test {
 public:
  // One window for all: each hide of a window costs Wine on a bare X
  // display about two seconds.
  static void SetUpTestSuite() { sharedWindow = new TypingWindow; }
  static void TearDownTestSuite() {
    delete sharedWindow;
    sharedWindow = nullptr;
  }
  void SetUp() override {
    if (!typing.TakeFocus()) GTEST_SKIP() << "the test window cannot take the keyboard focus";
  }

  std::vector<Reported> reported;
  KeyboardHook hook{[this](int virtualKey, std::string_view name) {
    reported.push_back({virtualKey, std::string(name)});
  }};
  TypingWindow& typing = *sharedWindow;
};

TEST_F(KeyboardHookTest, KeyTypedIntoFocusedEdit_ReportedOnReleaseAndStillArrives) {
  ASSERT_EQ(hook.Start(), Status::Ok);
  Type('K');
  Type('7');
  // The presses make the text, the releases come after them.
  ASSERT_TRUE(PumpUntil([&] { return typing.Text() == "k7" && typing.keyUps.size() == 2; }))
      << "the edit control holds \"" << typing.Text() << "\" and saw " << typing.keyUps.size()
      << " releases";
  EXPECT_EQ(typing.keyUps, (std::vector<WPARAM>{'K', '7'}));
  EXPECT_EQ(reported, (std::vector<Reported>{{'K', "K"}, {'7', "7"}}));
}

TEST_F(KeyboardHookTest, Stopped_KeysNoLongerReportedButStillArrive) {
  ASSERT_EQ(hook.Start(), Status::Ok);
  ASSERT_EQ(hook.Stop(), Status::Ok);
  EXPECT_FALSE(hook.Active());
  Type('Q');
  ASSERT_TRUE(PumpUntil([&] { return typing.Text() == "q"; }));
  EXPECT_TRUE(reported.empty());
  EXPECT_EQ(hook.Stop(), Status::Failed);
}

TEST_F(KeyboardHookTest, StartedTwice_OneHookReportsOnce) {
  ASSERT_EQ(hook.Start(), Status::Ok);
  ASSERT_EQ(hook.Start(), Status::Ok);
  Type('W');
  ASSERT_TRUE(PumpUntil([&] { return typing.Text() == "w"; }));
  EXPECT_EQ(reported, (std::vector<Reported>{{'W', "W"}}));
}

TEST_F(KeyboardHookTest, SecondHookWhileFirstRuns_Refused) {
  ASSERT_EQ(hook.Start(), Status::Ok);
  KeyboardHook other([](int, std::string_view) {});
  EXPECT_EQ(other.Start(), Status::Failed);
  EXPECT_FALSE(other.Active());
}

}  // namespace
}  // namespace snapwick::win32
