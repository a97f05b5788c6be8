#include "platform/win32/hotkey_win.h"

#include <algorithm>

namespace snapwick::win32 {
namespace {

// The keyboard among the generic desktop controls (HID usage tables).
constexpr USHORT kGenericDesktopPage = 0x01;
constexpr USHORT kKeyboardUsage = 0x06;
constexpr USHORT kRightShiftScanCode = 0x36;
// Reports that name no key: the keyboard's overrun code, and the
// prefix half of a Pause press.
constexpr USHORT kNoKey = 0xFF;

}  // namespace

std::optional<RawKey> RawKeyOf(const RAWKEYBOARD& report) {
  const bool e0 = (report.Flags & RI_KEY_E0) != 0;
  int key = report.VKey;
  if (key == 0 || key >= kNoKey) return std::nullopt;
  int sided = key;
  switch (key) {
    case VK_SHIFT:
      // The keyboard sends E0-prefixed Shift presses and releases around
      // the extended keys (Insert, the arrows) to undo Shift or Num Lock;
      // no finger is on a Shift key then.
      if (e0) return std::nullopt;
      sided = report.MakeCode == kRightShiftScanCode ? VK_RSHIFT : VK_LSHIFT;
      break;
    case VK_CONTROL:
      sided = e0 ? VK_RCONTROL : VK_LCONTROL;
      break;
    case VK_MENU:
      sided = e0 ? VK_RMENU : VK_LMENU;
      break;
    // Some keyboards' drivers report the side's code itself.
    case VK_LSHIFT:
    case VK_RSHIFT:
      key = VK_SHIFT;
      break;
    case VK_LCONTROL:
    case VK_RCONTROL:
      key = VK_CONTROL;
      break;
    case VK_LMENU:
    case VK_RMENU:
      key = VK_MENU;
      break;
    default:
      break;
  }
  // Enter and the keypad's Enter share a code but are two keys.
  const auto id = static_cast<std::uint16_t>((sided << 1) | (e0 ? 1 : 0));
  return RawKey{key, sided, id, (report.Flags & RI_KEY_BREAK) != 0};
}

void HotkeyEdges::Watch(int virtualKey) {
  watched_ = virtualKey;
  count_ = 0;
}

std::optional<KeyEdge> HotkeyEdges::OnReport(const RAWKEYBOARD& report) {
  const auto key = RawKeyOf(report);
  if (!key || watched_ == 0) return std::nullopt;
  if (watched_ != key->virtualKey && watched_ != key->sidedKey) return std::nullopt;
  return key->released ? Release(key->id) : Press(key->id);
}

std::optional<KeyEdge> HotkeyEdges::OnSample(bool down) {
  if (watched_ == 0) return std::nullopt;
  if (down && count_ == 0) return Press(kSampledId);
  if (!down && count_ > 0) {
    count_ = 0;
    return KeyEdge::Up;
  }
  return std::nullopt;
}

std::optional<KeyEdge> HotkeyEdges::Press(std::uint16_t id) {
  const auto end = down_.begin() + static_cast<std::ptrdiff_t>(count_);
  if (std::find(down_.begin(), end, id) != end) return std::nullopt;  // a repeat
  const bool wasDown = count_ > 0;
  // A key that a sample found down is this one, now that its report came.
  const auto sampled = std::find(down_.begin(), end, kSampledId);
  if (sampled != end) {
    *sampled = id;
    return std::nullopt;
  }
  if (count_ < down_.size()) down_[count_++] = id;
  return wasDown ? std::nullopt : std::optional(KeyEdge::Down);
}

std::optional<KeyEdge> HotkeyEdges::Release(std::uint16_t id) {
  auto end = down_.begin() + static_cast<std::ptrdiff_t>(count_);
  auto found = std::find(down_.begin(), end, id);
  // The release of the key a sample found down before its press came.
  if (found == end) found = std::find(down_.begin(), end, kSampledId);
  if (found == end) return std::nullopt;
  *found = down_[--count_];
  return count_ == 0 ? std::optional(KeyEdge::Up) : std::nullopt;
}

bool RawKeyboard::Start(HWND window) {
  if (window_ == window && window) return true;
  Stop();
  // RIDEV_INPUTSINK: also while another application has the focus.
  const RAWINPUTDEVICE device{kGenericDesktopPage, kKeyboardUsage, RIDEV_INPUTSINK, window};
  if (!window || !calls_.registerRawInputDevices(&device, 1, sizeof(device))) return false;
  window_ = window;
  return true;
}

void RawKeyboard::Stop() {
  if (!window_) return;
  const RAWINPUTDEVICE device{kGenericDesktopPage, kKeyboardUsage, RIDEV_REMOVE, nullptr};
  calls_.registerRawInputDevices(&device, 1, sizeof(device));
  window_ = nullptr;
}

std::optional<RAWKEYBOARD> KeyboardReportOf(LPARAM rawInput) {
  RAWINPUT input{};
  UINT size = sizeof(input);
  const UINT got = ::GetRawInputData(reinterpret_cast<HRAWINPUT>(rawInput), RID_INPUT, &input,
                                     &size, sizeof(RAWINPUTHEADER));
  if (got == static_cast<UINT>(-1) || got < sizeof(RAWINPUTHEADER) ||
      input.header.dwType != RIM_TYPEKEYBOARD) {
    return std::nullopt;
  }
  return input.data.keyboard;
}

}  // namespace snapwick::win32
