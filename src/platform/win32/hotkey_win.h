#pragma once
// The hotkey's presses and releases without a hook: the keyboard's raw
// input, which the system delivers to a window of ours whatever
// application has the focus, and the key's state looked at on the ticks to
// catch what raw input missed.

#include "platform/win32/windows_inc.h"

#include <array>
#include <cstdint>
#include <optional>

namespace snapwick::win32 {

enum class KeyEdge : std::uint8_t { Down, Up };

// The key a raw keyboard report speaks of, in the two forms set.ini may
// hold: the code the settings panel stores (for Shift, Ctrl and Alt the
// generic 0x10, 0x11, 0x12) and, for those three, the side's own code.
// Nothing for reports of no key: the keyboard's overrun code and the fake
// Shift presses that the keyboard wraps around extended keys.
struct RawKey {
  int virtualKey = 0;
  int sidedKey = 0;      // VK_LSHIFT, VK_RCONTROL, ...; virtualKey for other keys
  std::uint16_t id = 0;  // one physical key: its sided code and whether it is an E0 key
  bool released = false;
  bool operator==(const RawKey&) const = default;
};
std::optional<RawKey> RawKeyOf(const RAWKEYBOARD& report);

// Whether the hotkey is down, from raw reports and from samples of its
// state. A generic modifier counts as down while either side is; a held
// key's repeats are no edges.
class HotkeyEdges {
 public:
  // Watches this key from now on (0: none), as released.
  void Watch(int virtualKey);
  int Watched() const { return watched_; }
  bool Down() const { return count_ > 0; }

  std::optional<KeyEdge> OnReport(const RAWKEYBOARD& report);
  // What a look at the key's state showed; corrects what reports missed.
  std::optional<KeyEdge> OnSample(bool down);

 private:
  static constexpr std::uint16_t kSampledId = 0xFFFF;  // down as seen by a sample

  std::optional<KeyEdge> Press(std::uint16_t id);
  std::optional<KeyEdge> Release(std::uint16_t id);

  int watched_ = 0;
  std::array<std::uint16_t, 4> down_{};  // the physical keys of the hotkey that are down
  std::size_t count_ = 0;
};

// The system calls the watch is made with; a test hands in its own.
struct KeyCalls {
  BOOL(WINAPI* registerRawInputDevices)(PCRAWINPUTDEVICE, UINT, UINT) = ::RegisterRawInputDevices;
  SHORT(WINAPI* getAsyncKeyState)(int) = ::GetAsyncKeyState;
};

// The keyboard's raw input, delivered to one window of ours also while
// another application has the focus.
class RawKeyboard {
 public:
  explicit RawKeyboard(const KeyCalls& calls) : calls_(calls) {}
  ~RawKeyboard() { Stop(); }
  RawKeyboard(const RawKeyboard&) = delete;
  RawKeyboard& operator=(const RawKeyboard&) = delete;

  // For `window`; true when it comes (or came already).
  bool Start(HWND window);
  void Stop();
  bool Running() const { return window_ != nullptr; }

 private:
  const KeyCalls& calls_;
  HWND window_ = nullptr;
};

// The keyboard report a WM_INPUT message carries; nothing for other input.
std::optional<RAWKEYBOARD> KeyboardReportOf(LPARAM rawInput);

}  // namespace snapwick::win32
