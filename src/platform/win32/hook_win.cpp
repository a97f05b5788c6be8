// The thread keyboard hook and the names of keys.

#include "platform/win32/hook_win.h"

#include <algorithm>
#include <vector>

#include "platform/win32/text_win.h"
#include "platform/win32/win32_platform.h"

namespace snapwick::win32 {
namespace {

FrmEvents* hookTarget = nullptr;

}  // namespace

void SetKeyboardHookTarget(FrmEvents* events) { hookTarget = events; }

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam) {
  if (hookTarget) {
    return hookTarget->OnKeyboardHook(code, static_cast<std::intptr_t>(wParam),
                                      static_cast<std::intptr_t>(lParam));
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

Handle Win32Platform::SetWindowsHookEx(int hookType, Handle instance, std::uint32_t threadId) {
  return FromWin(::SetWindowsHookExA(hookType, &KeyboardHookProc, ToWin<HINSTANCE>(instance),
                                     static_cast<DWORD>(threadId)));
}

Status Win32Platform::UnhookWindowsHookEx(Handle hook) {
  return ::UnhookWindowsHookEx(ToWin<HHOOK>(hook)) ? Status::Ok : Status::Failed;
}

std::intptr_t Win32Platform::CallNextHookEx(Handle hook, int code, std::intptr_t wParam,
                                            std::intptr_t lParam) {
  return ::CallNextHookEx(ToWin<HHOOK>(hook), code, static_cast<WPARAM>(wParam),
                          static_cast<LPARAM>(lParam));
}

KeyName Win32Platform::GetKeyNameText(std::int32_t keyFlags, int bufferSize) {
  KeyName name;
  if (bufferSize <= 0) return name;
  std::vector<char> buffer(static_cast<std::size_t>(bufferSize), '\0');
  name.length = ::GetKeyNameTextA(keyFlags, buffer.data(), bufferSize);
  if (name.length > 0) {
    const auto n = static_cast<std::size_t>(std::min(name.length, bufferSize));
    name.text = Narrow(AnsiToWide(std::string_view(buffer.data(), n)));
  }
  return name;
}

}  // namespace snapwick::win32
