#include "platform/win32/keyboard_win.h"

#include "platform/win32/text_win.h"

namespace snapwick::win32 {
namespace {

constexpr int kKeyNameBufferSize = 30;

// The hook procedure is called without any pointer of ours.
KeyboardHook* activeHook = nullptr;

}  // namespace

std::optional<KeyRelease> ReleasedKey(int code, WPARAM wParam, LPARAM lParam) {
  // Bit 31, the transition state, makes the flags negative exactly when the
  // key goes up.
  const auto flags = static_cast<std::int32_t>(static_cast<std::uint32_t>(lParam));
  if (code != HC_ACTION || flags > 0) return std::nullopt;
  return KeyRelease{static_cast<int>(wParam), flags};
}

std::string KeyNameOf(std::int32_t flags) {
  char buffer[kKeyNameBufferSize] = {};
  const int length = ::GetKeyNameTextA(flags, buffer, kKeyNameBufferSize);
  if (length <= 0) return {};
  const int kept = length < kKeyNameBufferSize ? length : kKeyNameBufferSize - 1;
  return Narrow(AnsiToWide(std::string_view(buffer, static_cast<std::size_t>(kept))));
}

Status KeyboardHook::Start() {
  if (hook_) return Status::Ok;
  if (activeHook) return Status::Failed;
  // No module handle: the procedure lives in this process and hooks only
  // this thread. With the module's handle, Wine refuses the call
  // (ERROR_INVALID_PARAMETER) for a program whose path is 260 characters or
  // more.
  hook_ = ::SetWindowsHookExA(WH_KEYBOARD, &KeyboardHook::Proc, nullptr, ::GetCurrentThreadId());
  if (!hook_) return Status::Failed;
  activeHook = this;
  return Status::Ok;
}

Status KeyboardHook::Stop() {
  if (!hook_) return Status::Failed;
  const BOOL removed = ::UnhookWindowsHookEx(hook_);
  hook_ = nullptr;
  if (activeHook == this) activeHook = nullptr;
  return StatusOf(removed != FALSE);
}

LRESULT CALLBACK KeyboardHook::Proc(int code, WPARAM wParam, LPARAM lParam) {
  // Taken first: the sink may stop the hook.
  HHOOK hook = activeHook ? activeHook->hook_ : nullptr;
  if (activeHook && activeHook->sink_) {
    if (const auto key = ReleasedKey(code, wParam, lParam)) {
      activeHook->sink_(key->virtualKey, KeyNameOf(key->flags));
    }
  }
  // Every key goes on to the focused control, whatever was done with it.
  return ::CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace snapwick::win32
