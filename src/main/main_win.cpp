// The program's entry: the one window and the message loop of the one
// user-interface thread. The program reads no command line.

#include "platform/win32/windows_inc.h"

#include <commctrl.h>

#include "app/main_window_logic.h"
#include "platform/win32/dpi_win.h"
#include "platform/win32/win32_platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Before any window exists: a DPI-unaware process would measure a scaled
  // screen and save a cropped corner of it.
  snapwick::win32::EnablePerMonitorDpiAwareness();

  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);

  snapwick::win32::Win32Platform platform(instance);
  snapwick::MainWindowLogic logic(platform);
  // Start-up may end the program before the window is ever shown (another
  // copy is running).
  if (!platform.CreateMainWindow(logic)) return 0;
  platform.ShowMainWindow();
  // Which way of copying the screen is faster here, found once the window
  // is up, while it has nothing else to do.
  platform.ChooseCopyModeWhenIdle();
  return platform.RunMessageLoop();
}
