#pragma once
// The one way the Win32 layer includes <windows.h>.
//
// A few Win32 names are macros that would rename methods of the portable
// interface (DeleteFile, ReplaceFile, PlaySound) in the files that see the
// system headers but not in the others. They are removed here, and the
// layer calls the explicit A or W functions instead.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>
// After <windows.h>, which it needs; lean builds leave it out.
#include <mmsystem.h>

#undef SetWindowsHookEx
#undef GetKeyNameText
#undef DeleteFile
#undef ReplaceFile
#undef PlaySound
