#include "app/startup.h"

#include "app/app_state.h"
#include "app/folders.h"
#include "app/tray.h"
#include "platform/platform.h"
#include "settings/settings_file.h"
#include "ui/win_proc.h"

namespace snapwick {

void RunStartup(Platform& p, AppState& s) {
  if (p.PreviousInstanceRunning()) {
    // The running copy is neither told nor raised.
    p.CloseFrm();
    return;
  }

  s.TrayData = MakeTrayData(p.FrmHandle(), p.FrmIcon().value_or(0));
  p.NotifyIcon(TrayOp::Add, s.TrayData);

  WinProc.HookHandle = p.SetWindowsHookEx(kWhKeyboard, p.ModuleInstance(), p.CurrentThreadId());

  if (const auto exeFolder = p.ExeFolder()) {
    const Folders folders = DeriveFolders(*exeFolder);
    s.AppFolder = folders.app;
    s.WavFolder = folders.wav;
    s.PicFolder = folders.pic;
  }
  p.SetText(ControlId::Lb_Pic, s.PicFolder);
  // Fails at every start but the first, when the folder is already there.
  p.CreateFolder(s.PicFolder);

  s.ScreenW = p.GetSystemMetrics(kSmCxScreen);
  s.ScreenH = p.GetSystemMetrics(kSmCyScreen);
  p.ResizeCanvas(s.ScreenW, s.ScreenH);

  s.TitleText = kTitleText;
  p.SetFrmCaption(s.TitleText);

  LoadSettings(p, s);
}

bool RunClosePath(Platform& p, const AppState& s, CloseOrigin origin) {
  if (origin == CloseOrigin::User) {
    p.SetFrmVisible(false);
    return true;
  }
  p.NotifyIcon(TrayOp::Delete, s.TrayData);
  p.UnhookWindowsHookEx(WinProc.HookHandle);
  return false;
}

}  // namespace snapwick
