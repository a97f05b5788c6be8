#pragma once
// The thread keyboard hook's procedure. The system calls it without a
// window, so it reaches the running main window through one program-wide
// pointer.

#include "platform/frm_events.h"
#include "platform/win32/windows_inc.h"

namespace snapwick::win32 {

// The window whose OnKeyboardHook receives every hook call; none: the call
// is passed straight on.
void SetKeyboardHookTarget(FrmEvents* events);

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam);

}  // namespace snapwick::win32
