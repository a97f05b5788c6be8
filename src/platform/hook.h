#pragma once
// The thread keyboard hook and the names of keys.

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace snapwick {

constexpr int kWhKeyboard = 2;

struct KeyName {
  int length = 0;    // what the system returned; 0 or less: no name
  std::string text;  // UTF-8, decoded from the ANSI code page
};

class HookApi {
 public:
  virtual ~HookApi() = default;

  // Installs the keyboard hook whose procedure forwards to
  // FrmEvents::OnKeyboardHook; returns its handle, or 0.
  virtual Handle SetWindowsHookEx(int hookType, Handle instance,
                                  std::uint32_t threadId) = 0;
  virtual Status UnhookWindowsHookEx(Handle hook) = 0;
  virtual std::intptr_t CallNextHookEx(Handle hook, int code,
                                       std::intptr_t wParam,
                                       std::intptr_t lParam) = 0;
  virtual KeyName GetKeyNameText(std::int32_t keyFlags, int bufferSize) = 0;
};

}  // namespace snapwick
