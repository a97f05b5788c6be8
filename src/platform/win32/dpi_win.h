#pragma once
// Dots per inch. The calls that know about per-monitor DPI exist only from
// Windows 10 on and are looked up at run time, so the program still starts
// on older systems, at the system DPI.

#include "platform/win32/windows_inc.h"

namespace snapwick::win32 {

// Makes the process per-monitor DPI aware (version 2) where the system
// offers it. The manifest asks for the same; this covers a missing one.
void EnablePerMonitorDpiAwareness();

// The DPI the window is shown at; the system DPI where the system cannot
// tell per window.
int DpiOf(HWND window);

// The outer size of a window whose client area is `client` at `dpi`.
RECT WindowRectForClient(RECT client, DWORD style, DWORD exStyle, int dpi);

}  // namespace snapwick::win32
