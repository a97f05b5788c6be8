#pragma once
// Copies of the primary screen: into one 32-bit DIB section that the layer
// keeps selected in a memory device context of its own, reused from shot to
// shot and made anew only when the screen's size changes. The encoder reads
// its pixels where the copy put them.

#include "platform/win32/windows_inc.h"

#include <cstdint>
#include <optional>

#include "jpeg/jpeg_encoder.h"
#include "platform/screen.h"
#include "platform/win32/scoped_win.h"

namespace snapwick::win32 {

// The system calls a copy is made with. A test hands in its own, to make
// the screen unreachable, sizeless or uncopyable.
struct ScreenCalls {
  int(WINAPI* getSystemMetrics)(int) = ::GetSystemMetrics;
  HDC(WINAPI* getDC)(HWND) = ::GetDC;
  int(WINAPI* releaseDC)(HWND, HDC) = ::ReleaseDC;
  BOOL(WINAPI* bitBlt)(HDC, int, int, int, int, HDC, int, int, DWORD) = ::BitBlt;
};

class ScreenGrabber {
 public:
  explicit ScreenGrabber(ScreenCalls calls = {}) : calls_(calls) {}
  ~ScreenGrabber();
  ScreenGrabber(const ScreenGrabber&) = delete;
  ScreenGrabber& operator=(const ScreenGrabber&) = delete;

  // Measures the screen afresh and copies it whole. Nothing when there is
  // no screen to copy from, it has no size, or the copy failed; the image
  // of an earlier grab is gone then too.
  std::optional<ScreenImage> Grab();

  // The bitmap that holds `image`, while it is the latest grab.
  HBITMAP BitmapOf(const ScreenImage& image) const;
  // Its pixels as the copy left them (bottom row first), while `image` is
  // the latest grab.
  std::optional<jpeg::BgrxPixels> PixelsOf(const ScreenImage& image) const;
  HDC Dc() const { return dc_.Get(); }

 private:
  bool FitBitmap(int width, int height);
  void DropBitmap();
  bool IsLatest(const ScreenImage& image) const;

  ScreenCalls calls_;
  MemoryDC dc_;
  Bitmap bitmap_;
  HGDIOBJ original_ = nullptr;          // the DC's own bitmap, put back before ours goes
  const std::uint8_t* bits_ = nullptr;  // the bitmap's pixels, owned by it
  int width_ = 0;
  int height_ = 0;
  std::uintptr_t grabs_ = 0;    // numbers the images
  std::uintptr_t current_ = 0;  // the image the bitmap holds; 0: none
};

}  // namespace snapwick::win32
