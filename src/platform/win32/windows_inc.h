#pragma once
// The one way the Win32 layer includes <windows.h>.
//
// A few Win32 names are macros that would rename methods of the portable
// interface (SetWindowsHookEx, GetKeyNameText, DeleteFile, ReplaceFile) in
// the files that see <windows.h> but not in the others. They are removed
// here, and the layer calls the explicit A or W functions instead.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>

#undef SetWindowsHookEx
#undef GetKeyNameText
#undef DeleteFile
#undef ReplaceFile
