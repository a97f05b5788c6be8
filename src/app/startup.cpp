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

bool RunStartup(Platform& p, AppState& s) {
  if (p.AnotherInstanceRunning()) {
    // The running copy is neither told nor raised.
    p.CloseWindow();
    return false;
  }

  AddTrayIcon(p, s);
  p.SetKeyCapture(true);

  if (const auto exeFolder = p.ProgramFolder()) {
    const Folders folders = DeriveFolders(*exeFolder, p.PathSeparator());
    s.appFolder = folders.app;
    s.wavFolder = folders.wav;
    s.picFolder = folders.pic;
  }
  p.SetText(ControlId::ShotFolderLabel, s.picFolder);
  // Also clears what a shot cut short by a crash or a power cut left there.
  p.PrepareFolder(s.picFolder);

  s.titleText = kTitleText;
  s.captionLead = s.titleText;
  p.SetTitle(s.titleText);

  LoadSettings(p, s);
  return true;
}

bool RunClosePath(Platform& p, CloseOrigin origin) {
  if (origin == CloseOrigin::User) {
    p.HideWindow();
    return true;
  }
  p.RemoveTrayIcon();
  p.SetKeyCapture(false);
  return false;
}

}  // namespace snapwick
