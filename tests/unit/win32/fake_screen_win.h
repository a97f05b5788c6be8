#pragma once
// A screen of the tests' own, for the screen grabber.

#include "platform/win32/windows_inc.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "platform/win32/scoped_win.h"
#include "platform/win32/screen_win.h"

namespace snapwick::win32::testing {

constexpr COLORREF kTop = RGB(255, 0, 0);
constexpr COLORREF kBottom = RGB(0, 0, 255);

class FakeScreen;
// The calls reach the screen without any pointer of the test's.
inline FakeScreen* activeFakeScreen = nullptr;

// A screen of the test's own: a bitmap whose upper half is red and lower
// half blue, and every system call of a copy, each of which can be made to
// fail.
class FakeScreen {
 public:
  FakeScreen() {
    activeFakeScreen = this;
    dc_.Reset(::CreateCompatibleDC(nullptr));
    Resize(64, 32);
  }
  ~FakeScreen() { activeFakeScreen = nullptr; }
  FakeScreen(const FakeScreen&) = delete;
  FakeScreen& operator=(const FakeScreen&) = delete;

  void Resize(int width, int height) {
    picked_.reset();
    width_ = width;
    height_ = height;
    WindowDC screen(nullptr);
    bitmap_.Reset(
        ::CreateCompatibleBitmap(screen.Get(), width > 0 ? width : 1, height > 0 ? height : 1));
    picked_.emplace(dc_.Get(), bitmap_.Get());
    Brush top(::CreateSolidBrush(kTop));
    Brush bottom(::CreateSolidBrush(kBottom));
    const RECT upper{0, 0, width, height / 2};
    const RECT lower{0, height / 2, width, height};
    ::FillRect(dc_.Get(), &upper, top.Get());
    ::FillRect(dc_.Get(), &lower, bottom.Get());
  }

  // Replaces the two halves with a picture of fine detail, gradients and
  // noise, whose JPEG shrinks as the quality drops.
  void PaintDetail() {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width_) * height_);
    std::uint32_t noise = 12345;
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        noise = noise * 1103515245u + 12345u;
        const auto grain = static_cast<std::uint32_t>((noise >> 16) % 48);
        const std::uint32_t blue = (x * 255 / width_ + grain) & 0xFF;
        const std::uint32_t green = (y * 255 / height_ + grain) & 0xFF;
        const std::uint32_t red = ((x / 4 + y / 4) % 2 ? 200 : 40) + grain;
        pixels[static_cast<std::size_t>(y) * width_ + x] = (red << 16) | (green << 8) | blue;
      }
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    ::SetDIBitsToDevice(dc_.Get(), 0, 0, width_, height_, 0, 0, 0, height_, pixels.data(), &info,
                        DIB_RGB_COLORS);
    detail_ = std::move(pixels);
  }

  // The picture PaintDetail painted, top row first, 0x00RRGGBB each.
  const std::vector<std::uint32_t>& Detail() const { return detail_; }

  static ScreenCalls Calls() { return {&Metrics, &GetDc, &ReleaseDc, &Copy}; }

  bool noDc = false;
  bool copyFails = false;
  int failingCopy = 0;  // this call of the copy and those after it fail; 0: none
  int copies = 0;
  int largestCopyRows = 0;
  int dcsTaken = 0;
  int dcsGivenBack = 0;

 private:
  static int WINAPI Metrics(int index) {
    if (index == SM_CXSCREEN) return activeFakeScreen->width_;
    if (index == SM_CYSCREEN) return activeFakeScreen->height_;
    return ::GetSystemMetrics(index);
  }
  static HDC WINAPI GetDc(HWND window) {
    if (window || activeFakeScreen->noDc) return nullptr;
    ++activeFakeScreen->dcsTaken;
    return activeFakeScreen->dc_.Get();
  }
  static int WINAPI ReleaseDc(HWND, HDC dc) {
    if (dc != activeFakeScreen->dc_.Get()) return 0;
    ++activeFakeScreen->dcsGivenBack;
    return 1;
  }
  static BOOL WINAPI Copy(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy,
                          DWORD rop) {
    const int copy = ++activeFakeScreen->copies;
    activeFakeScreen->largestCopyRows = std::max(activeFakeScreen->largestCopyRows, height);
    if (activeFakeScreen->copyFails) return FALSE;
    if (activeFakeScreen->failingCopy != 0 && copy >= activeFakeScreen->failingCopy) return FALSE;
    return ::BitBlt(dest, x, y, width, height, source, sx, sy, rop);
  }

  int width_ = 0;
  int height_ = 0;
  MemoryDC dc_;
  Bitmap bitmap_;
  std::optional<Selection> picked_;
  std::vector<std::uint32_t> detail_;
};

}  // namespace snapwick::win32::testing
