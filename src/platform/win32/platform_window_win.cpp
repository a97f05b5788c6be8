// The window operations of the platform: Frm, its controls and the canvas.

#include "platform/win32/text_win.h"
#include "platform/win32/win32_platform.h"

namespace snapwick::win32 {
namespace {

Status StatusOf(bool ok) { return ok ? Status::Ok : Status::Failed; }

}  // namespace

Handle Win32Platform::FrmHandle() { return FromWin(window_.Hwnd()); }

std::optional<Handle> Win32Platform::FrmIcon() {
  if (!window_.Icon()) return std::nullopt;
  return FromWin(window_.Icon());
}

Status Win32Platform::SetFrmCaption(std::string_view text) {
  HWND frm = window_.Hwnd();
  return StatusOf(frm && ::SetWindowTextW(frm, Widen(text).c_str()));
}

std::optional<bool> Win32Platform::FrmVisible() {
  HWND frm = window_.Hwnd();
  if (!frm) return std::nullopt;
  // A minimised window counts as shown.
  return ::IsWindowVisible(frm) != FALSE;
}

Status Win32Platform::SetFrmVisible(bool visible) {
  HWND frm = window_.Hwnd();
  if (!frm) return Status::Failed;
  ::ShowWindow(frm, visible ? SW_SHOW : SW_HIDE);
  return Status::Ok;
}

Status Win32Platform::RestoreFrm() {
  HWND frm = window_.Hwnd();
  if (!frm) return Status::Failed;
  if (::IsIconic(frm) || ::IsZoomed(frm)) ::ShowWindow(frm, SW_RESTORE);
  return Status::Ok;
}

Status Win32Platform::PopupTrayMenu() { return window_.PopupTrayMenu(); }

Status Win32Platform::CloseFrm() { return window_.CloseFromProgram(); }

Status Win32Platform::SetText(ControlId id, std::string_view text) {
  return window_.SetControlText(id, text);
}

std::optional<std::string> Win32Platform::GetText(ControlId id) {
  HWND control = window_.ControlWindow(id);
  if (!control) return std::nullopt;
  return WindowText(control);
}

Status Win32Platform::ComboAddItem(int position, std::string_view text) {
  HWND combo = window_.ControlWindow(ControlId::Cmb);
  if (!combo || position < 0) return Status::Failed;
  const std::wstring item = Widen(text);
  const LRESULT at = ::SendMessageW(combo, CB_INSERTSTRING, static_cast<WPARAM>(position),
                                    reinterpret_cast<LPARAM>(item.c_str()));
  return StatusOf(at == position);
}

std::optional<int> Win32Platform::CheckValue() {
  HWND check = window_.ControlWindow(ControlId::Check);
  if (!check) return std::nullopt;
  return static_cast<int>(::SendMessageW(check, BM_GETCHECK, 0, 0));
}

Status Win32Platform::SetCheckValue(int value) {
  HWND check = window_.ControlWindow(ControlId::Check);
  if (!check || value < BST_UNCHECKED || value > BST_INDETERMINATE) return Status::Failed;
  ::SendMessageW(check, BM_SETCHECK, static_cast<WPARAM>(value), 0);
  return Status::Ok;
}

Status Win32Platform::ClearCanvas() { return window_.canvas().Clear(); }

Status Win32Platform::SetCanvasPersistent(bool on) { return window_.canvas().SetPersistent(on); }

Status Win32Platform::ResizeCanvas(int widthPx, int heightPx) {
  return window_.canvas().Resize(widthPx, heightPx);
}

std::optional<Handle> Win32Platform::CanvasDC() {
  HDC dc = window_.canvas().Dc();
  if (!dc) return std::nullopt;
  return FromWin(dc);
}

std::optional<Handle> Win32Platform::CanvasImage() {
  HBITMAP image = window_.canvas().Image();
  if (!image) return std::nullopt;
  return FromWin(image);
}

}  // namespace snapwick::win32
