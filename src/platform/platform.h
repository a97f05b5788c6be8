#pragma once
// Everything the program asks of the system, as one object. It speaks of
// what the program wants; how is each platform's affair:
// src/platform/win32 on Windows, the Linux layers on X11 and Wayland, and a
// fake that records every call in the unit tests.

#include "platform/files.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "platform/system.h"
#include "platform/timer.h"
#include "platform/tray.h"
#include "platform/window.h"

namespace snapwick {

class Platform : public WindowApi,
                 public TrayApi,
                 public KeyboardApi,
                 public TimerApi,
                 public ScreenApi,
                 public FilesApi,
                 public SystemApi {};

}  // namespace snapwick
