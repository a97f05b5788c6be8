#include "ui/win_proc.h"

#include "app/app_state.h"
#include "platform/platform.h"
#include "ui/settings_panel.h"

namespace snapwick {

WinProcValues WinProc;

namespace {
constexpr int kHcAction = 0;
constexpr int kKeyNameBufferSize = 30;
}  // namespace

std::intptr_t KeyboardProc(Platform& p, AppState& s, int code, std::intptr_t wParam,
                           std::intptr_t lParam) {
  // The keystroke flags are the low 32 bits of lParam. Read as a signed
  // number they are not positive exactly when bit 31 is set: the key is
  // being released, so a key held down is captured once.
  const auto flags = static_cast<std::int32_t>(static_cast<std::uint32_t>(lParam));
  if (code == kHcAction && flags <= 0) {
    const KeyName name = p.GetKeyNameText(flags, kKeyNameBufferSize);
    if (name.length > 0) {
      WinProc.PendingKey = static_cast<std::int32_t>(wParam);
      p.SetText(ControlId::T_key, name.text);
      if (WinProc.HotKey != WinProc.PendingKey) Wav_1(p, s);
    }
  }
  // Never swallow a key: the focused control still gets it.
  return p.CallNextHookEx(WinProc.HookHandle, code, wParam, lParam);
}

}  // namespace snapwick
