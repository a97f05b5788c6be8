#pragma once
// The keys released while a window of the program has the focus, through a
// keyboard hook on the user-interface thread, and the system's names of
// keys.

#include "platform/win32/windows_inc.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace snapwick::win32 {

struct KeyRelease {
  int virtualKey = 0;
  std::int32_t flags = 0;  // the keystroke flags: scan code, extended bit, ...
  bool operator==(const KeyRelease&) const = default;
};

// The key that a call of the keyboard hook reports released: the call is
// an action and its keystroke flags, the low 32 bits of lParam read as a
// signed number, are not positive. Nothing for every other call, so that a
// key held down is reported once, when it comes up.
std::optional<KeyRelease> ReleasedKey(int code, WPARAM wParam, LPARAM lParam);

// The system's name of the key, from GetKeyNameTextA, as UTF-8; empty when
// the key has none.
std::string KeyNameOf(std::int32_t flags);

class KeyboardHook {
 public:
  using Sink = std::function<void(int virtualKey, std::string_view name)>;

  explicit KeyboardHook(Sink sink) : sink_(std::move(sink)) {}
  ~KeyboardHook() { Stop(); }
  KeyboardHook(const KeyboardHook&) = delete;
  KeyboardHook& operator=(const KeyboardHook&) = delete;

  // Installs the hook on the calling thread; once only, and for one hook of
  // the process at a time.
  Status Start();
  Status Stop();
  bool Active() const { return hook_ != nullptr; }

 private:
  static LRESULT CALLBACK Proc(int code, WPARAM wParam, LPARAM lParam);

  Sink sink_;
  HHOOK hook_ = nullptr;
};

}  // namespace snapwick::win32
