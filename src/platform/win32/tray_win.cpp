#include "platform/win32/tray_win.h"

#include <algorithm>
#include <cstring>

namespace snapwick::win32 {

NOTIFYICONDATAA TrayRecord(HWND window, HICON icon, std::string_view ansiTip) {
  NOTIFYICONDATAA record{};
  record.cbSize = sizeof(record);
  record.hWnd = window;
  record.uID = kTrayIconId;
  record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  record.uCallbackMessage = kTrayCallbackMessage;
  record.hIcon = icon;
  const std::size_t length = std::min(ansiTip.size(), kTrayTipLength);
  std::memcpy(record.szTip, ansiTip.data(), length);
  record.szTip[length] = '\0';
  return record;
}

std::optional<TrayEvent> TrayEventOf(UINT mouseMessage) {
  switch (mouseMessage) {
    case WM_MOUSEMOVE:
      return TrayEvent::PointerMove;
    case WM_LBUTTONDOWN:
      return TrayEvent::LeftPress;
    case WM_LBUTTONUP:
      return TrayEvent::LeftRelease;
    case WM_LBUTTONDBLCLK:
      return TrayEvent::LeftDoubleClick;
    case WM_RBUTTONDOWN:
      return TrayEvent::RightPress;
    case WM_RBUTTONUP:
      return TrayEvent::RightRelease;
    case WM_RBUTTONDBLCLK:
      return TrayEvent::RightDoubleClick;
    case WM_MBUTTONDOWN:
      return TrayEvent::MiddlePress;
    case WM_MBUTTONUP:
      return TrayEvent::MiddleRelease;
    default:
      return std::nullopt;
  }
}

TrayIcon::~TrayIcon() {
  if (shown_) Remove();
}

Status TrayIcon::Add(HWND window, HICON icon, std::string_view ansiTip) {
  record_ = TrayRecord(window, icon, ansiTip);
  if (!::Shell_NotifyIconA(NIM_ADD, &*record_)) return Status::Failed;
  shown_ = true;
  return Status::Ok;
}

Status TrayIcon::Remove() {
  if (!record_) return Status::Failed;
  shown_ = false;
  return StatusOf(::Shell_NotifyIconA(NIM_DELETE, &*record_) != FALSE);
}

}  // namespace snapwick::win32
