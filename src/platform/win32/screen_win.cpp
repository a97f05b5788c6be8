#include "platform/win32/screen_win.h"

#include <algorithm>

namespace snapwick::win32 {
namespace {

// The most bytes one BitBlt from the screen moves. Under Wine each BitBlt
// from the screen is one XGetImage, whose pixels arrive in two buffers the
// C library allocates for that call alone; when they are as big as the
// screen it hands their memory back to the system afterwards, and the next
// copy has to fault every page of it in again, which costs many times the
// copy itself where page faults are dear (a virtual machine: about 50 ms of
// a 1920x1080 copy, 220 ms at 3840x2160). Buffers of this size stay in the
// library's reuse. On Windows the bands land in the bitmap just as one
// copy of the whole screen would.
constexpr int kBandBytes = 256 * 1024;

// The screen's device context, given back as soon as the copy is done or
// the grab ends early.
class ScreenDc {
 public:
  explicit ScreenDc(const ScreenCalls& calls) : calls_(calls), dc_(calls.getDC(nullptr)) {}
  ~ScreenDc() { Release(); }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC Get() const { return dc_; }
  void Release() {
    if (dc_) calls_.releaseDC(nullptr, dc_);
    dc_ = nullptr;
  }

 private:
  const ScreenCalls& calls_;
  HDC dc_;
};

}  // namespace

ScreenGrabber::~ScreenGrabber() { DropBitmap(); }

std::optional<ScreenImage> ScreenGrabber::Grab() {
  // A failed copy leaves the bitmap half old, half new: no image of it may
  // be written any more.
  current_ = 0;
  const int width = calls_.getSystemMetrics(SM_CXSCREEN);
  const int height = calls_.getSystemMetrics(SM_CYSCREEN);
  if (width <= 0 || height <= 0) return std::nullopt;
  ScreenDc screen(calls_);
  if (!screen.Get() || !FitBitmap(width, height)) return std::nullopt;
  // Top to bottom, in bands of whole rows.
  const int bandRows = std::max(1, kBandBytes / (width * 4));
  BOOL copied = TRUE;
  for (int top = 0; copied && top < height; top += bandRows) {
    const int rows = std::min(bandRows, height - top);
    copied = calls_.bitBlt(dc_.Get(), 0, top, width, rows, screen.Get(), 0, top, SRCCOPY);
  }
  screen.Release();
  if (!copied) return std::nullopt;
  // GDI may batch its drawing; the encoder reads the bits directly, so the
  // copy must have landed in them first.
  ::GdiFlush();
  current_ = ++grabs_;
  return ScreenImage{current_, width, height};
}

bool ScreenGrabber::IsLatest(const ScreenImage& image) const {
  return current_ != 0 && image.id == current_ && image.width == width_ && image.height == height_;
}

HBITMAP ScreenGrabber::BitmapOf(const ScreenImage& image) const {
  return IsLatest(image) ? bitmap_.Get() : nullptr;
}

std::optional<jpeg::BgrxPixels> ScreenGrabber::PixelsOf(const ScreenImage& image) const {
  if (!IsLatest(image) || !bits_) return std::nullopt;
  // A 32-bit DIB's rows need no padding; a positive height in its header
  // puts the bottom row first.
  return jpeg::BgrxPixels{bits_, width_, height_, width_ * 4, true};
}

bool ScreenGrabber::FitBitmap(int width, int height) {
  if (bitmap_ && width == width_ && height == height_) return true;
  if (!dc_) dc_.Reset(::CreateCompatibleDC(nullptr));
  if (!dc_) return false;

  // 32 bits per pixel: the layout of the screen itself, so the copy is a
  // plain move, and one the encoder takes as it is (blue, green, red, one
  // unused byte).
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  Bitmap fresh(::CreateDIBSection(dc_.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  DropBitmap();
  if (!fresh) return false;
  HGDIOBJ previous = ::SelectObject(dc_.Get(), fresh.Get());
  if (!previous || previous == HGDI_ERROR) return false;
  original_ = previous;
  bitmap_ = std::move(fresh);
  bits_ = static_cast<const std::uint8_t*>(bits);
  width_ = width;
  height_ = height;
  return true;
}

void ScreenGrabber::DropBitmap() {
  if (dc_ && original_) ::SelectObject(dc_.Get(), original_);
  original_ = nullptr;
  bits_ = nullptr;
  bitmap_.Reset();
  width_ = height_ = 0;
}

}  // namespace snapwick::win32
