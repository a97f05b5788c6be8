#include "app/startup.h"

#include <string>

#include "app/folders.h"
#include "form/roles.h"
#include "form/texts.h"
#include "platform/platform.h"
#include "settings/settings_file.h"
#include "state/app_state.h"
#include "tray/tray.h"

namespace snapwick {

void RunStartup(Platform& p, AppState& s) {
  if (p.AnotherInstanceRunning()) {
    // The running copy is neither told nor raised.
    p.CloseWindow();
    return;
  }

  AddTrayIcon(p, s);
  p.StartKeyCapture();

  if (const auto exeFolder = p.ProgramFolder()) {
    const Folders folders = DeriveFolders(*exeFolder, p.PathSeparator());
    s.appFolder = folders.app;
    s.wavFolder = folders.wav;
    s.picFolder = folders.pic;
  }
  p.SetText(ControlId::ShotFolderLabel, s.picFolder);
  // Fails at every start but the first, when the folder is already there.
  p.CreateFolder(s.picFolder);

  s.titleText = kTitleText;
  p.SetTitle(s.titleText);

  LoadSettings(p, s);
}

bool RunClosePath(Platform& p, CloseOrigin origin) {
  if (origin == CloseOrigin::User) {
    p.HideWindow();
    return true;
  }
  p.RemoveTrayIcon();
  p.StopKeyCapture();
  return false;
}

}  // namespace snapwick
