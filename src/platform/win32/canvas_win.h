#pragma once
// The hidden capture canvas: a child window that is never shown, and the
// bitmap that shots are copied into, kept selected in a memory device
// context of its own between shots.

#include "platform/types.h"
#include "platform/win32/scoped_win.h"

namespace snapwick::win32 {

class Canvas {
 public:
  Canvas() = default;
  ~Canvas() { Release(); }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  // The hidden window that stands for the canvas in the main window; none
  // is needed to draw into the bitmap.
  void Attach(HWND window);
  // Gives back the bitmap and the device context.
  void Release();

  // Blackens the picture, so that a copy that fails never passes an older
  // shot off as a new one. Succeeds also before there is a picture.
  Status Clear();
  // On: from now on the canvas keeps its drawing in its own bitmap.
  Status SetPersistent(bool on);
  // A new size in pixels. The same size keeps the bitmap it has: a shot of
  // an unchanged screen allocates nothing.
  Status Resize(int width, int height);

  HDC Dc() const { return dc_.get(); }
  // Stays selected in Dc(); GDI+ reads it from there.
  HBITMAP Image() const { return bitmap_.get(); }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  bool MatchBitmapToSize();
  void DropBitmap();

  HWND window_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  int bitmapWidth_ = 0;
  int bitmapHeight_ = 0;
  MemoryDC dc_;
  Bitmap bitmap_;
  HGDIOBJ original_ = nullptr;  // the DC's own bitmap, put back before ours goes
};

}  // namespace snapwick::win32
