#include "app/tray.h"

#include <string>

#include "platform/platform.h"

namespace snapwick {
namespace {

constexpr std::uint32_t kProgramRecordSize = 44;  // six 32-bit fields and the tip
constexpr std::uint32_t kIconId = 1;
constexpr std::uint32_t kNifMessageIconTip = 1 | 2 | 4;

}  // namespace

TrayData MakeTrayData(Handle window, Handle icon) {
  TrayData d;
  d.cbSize = kProgramRecordSize;
  d.hWnd = window;
  d.uID = kIconId;
  d.uFlags = kNifMessageIconTip;
  d.uCallbackMessage = kTrayCallbackMessage;
  d.hIcon = icon;
  d.szTip = std::string(kTrayTip);
  d.szTip.resize(TrayData::kTipLength, ' ');
  return d;
}

void ShowFrm(Platform& p) {
  p.SetFrmVisible(true);
  p.RestoreFrm();
  p.SetForegroundWindow(p.FrmHandle());
}

void OnTrayMouse(Platform& p, int mouseCode) {
  switch (mouseCode) {
    case kWmLButtonDblClk: {
      // A minimised window counts as shown, so it is hidden too.
      const auto visible = p.FrmVisible();
      if (visible && *visible) {
        p.SetFrmVisible(false);
      } else {
        ShowFrm(p);
      }
      break;
    }
    case kWmRButtonDown:
      // Without the foreground the menu would stay open when the user
      // clicks elsewhere.
      p.SetForegroundWindow(p.FrmHandle());
      p.PopupTrayMenu();
      break;
    default:
      break;
  }
}

}  // namespace snapwick
