#pragma once
// Everything the program's logic asks of the system, as one object.
// src/platform/win32 implements it for Windows; the unit tests implement it
// with a fake that records every call.

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/gdiplus.h"
#include "platform/hook.h"
#include "platform/screen.h"
#include "platform/shell.h"
#include "platform/window.h"

namespace snapwick {

class Platform : public WindowApi,
                 public ScreenApi,
                 public ShellApi,
                 public HookApi,
                 public FilesApi,
                 public ClockApi,
                 public GdiplusApi {};

}  // namespace snapwick
