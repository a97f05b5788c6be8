#include "platform/win32/canvas_win.h"

namespace snapwick::win32 {

void Canvas::Attach(HWND window) {
  window_ = window;
  RECT r{};
  if (window && ::GetClientRect(window, &r)) {
    width_ = r.right - r.left;
    height_ = r.bottom - r.top;
  }
}

void Canvas::Release() {
  DropBitmap();
  dc_.reset();
  window_ = nullptr;
}

void Canvas::DropBitmap() {
  if (dc_ && original_) ::SelectObject(dc_.get(), original_);
  original_ = nullptr;
  bitmap_.reset();
  bitmapWidth_ = bitmapHeight_ = 0;
}

Status Canvas::Clear() {
  if (dc_ && bitmap_ && !::PatBlt(dc_.get(), 0, 0, bitmapWidth_, bitmapHeight_, BLACKNESS)) {
    return Status::Failed;
  }
  return Status::Ok;
}

Status Canvas::SetPersistent(bool on) {
  if (!on) return Status::Ok;
  if (!dc_) dc_.reset(::CreateCompatibleDC(nullptr));
  if (!dc_) return Status::Failed;
  return MatchBitmapToSize() ? Status::Ok : Status::Failed;
}

Status Canvas::Resize(int width, int height) {
  if (width <= 0 || height <= 0) return Status::Failed;
  // Every shot resizes to the screen; the size rarely changes, and moving
  // the hidden window each time would cost the shot for nothing.
  if (width == width_ && height == height_) return MatchBitmapToSize() ? Status::Ok : Status::Failed;
  if (window_ && !::SetWindowPos(window_, nullptr, 0, 0, width, height,
                                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE)) {
    return Status::Failed;
  }
  width_ = width;
  height_ = height;
  return MatchBitmapToSize() ? Status::Ok : Status::Failed;
}

bool Canvas::MatchBitmapToSize() {
  if (!dc_) return true;  // not persistent yet: the bitmap comes with the mode
  if (bitmap_ && bitmapWidth_ == width_ && bitmapHeight_ == height_) return true;
  if (width_ <= 0 || height_ <= 0) return true;

  // 32 bits per pixel: the layout of the screen itself, so the copy is a
  // plain move; GDI+ reads it as RGB without alpha.
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width_;
  info.bmiHeader.biHeight = height_;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  Bitmap fresh(::CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  DropBitmap();
  if (!fresh) return false;
  HGDIOBJ previous = ::SelectObject(dc_.get(), fresh.get());
  if (!previous || previous == HGDI_ERROR) return false;
  original_ = previous;
  bitmap_ = std::move(fresh);
  bitmapWidth_ = width_;
  bitmapHeight_ = height_;
  return true;
}

}  // namespace snapwick::win32
