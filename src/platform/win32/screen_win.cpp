#include "platform/win32/screen_win.h"

#include <algorithm>
#include <vector>

namespace snapwick::win32 {
namespace {

// The screen's device context, given back as soon as the copy is done or
// the copy ends early.
class ScreenDc {
 public:
  explicit ScreenDc(const ScreenCalls& calls) : calls_(calls), dc_(calls.getDC(nullptr)) {}
  ~ScreenDc() {
    if (dc_) calls_.releaseDC(nullptr, dc_);
  }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC Get() const { return dc_; }

 private:
  const ScreenCalls& calls_;
  HDC dc_;
};

double MillisecondsSince(const LARGE_INTEGER& start) {
  LARGE_INTEGER now{}, frequency{};
  ::QueryPerformanceCounter(&now);
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 /
         static_cast<double>(frequency.QuadPart);
}

}  // namespace

int BandRows(int width) { return std::max(1, kBandBytes / (std::max(1, width) * 4)); }

CopyMode ChooseCopyMode(std::span<const double> bandsMs, std::span<const double> wholeMs) {
  if (bandsMs.empty() || wholeMs.empty()) return CopyMode::Bands;
  const double bands = *std::min_element(bandsMs.begin(), bandsMs.end());
  const double whole = *std::min_element(wholeMs.begin(), wholeMs.end());
  return bands < whole ? CopyMode::Bands : CopyMode::Whole;
}

bool ScreenBitmap::Fit(int width, int height) {
  if (bitmap_ && width == width_ && height == height_) return true;
  if (!dc_) dc_.Reset(::CreateCompatibleDC(nullptr));
  if (!dc_) return false;

  // 32 bits per pixel: the layout of the screen itself, so the copy is a
  // plain move, and one the encoder takes as it is (blue, green, red, one
  // unused byte). A positive height puts the bottom row first.
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  Bitmap fresh(::CreateDIBSection(dc_.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  Drop();
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

void ScreenBitmap::Drop() {
  if (dc_ && original_) ::SelectObject(dc_.Get(), original_);
  original_ = nullptr;
  bits_ = nullptr;
  bitmap_.Reset();
  width_ = height_ = 0;
}

bool CopyScreen(const ScreenCalls& calls, CopyMode mode, ScreenBitmap& into) {
  const int width = calls.getSystemMetrics(SM_CXSCREEN);
  const int height = calls.getSystemMetrics(SM_CYSCREEN);
  if (width <= 0 || height <= 0) return false;
  ScreenDc screen(calls);
  if (!screen.Get() || !into.Fit(width, height)) return false;
  const int step = mode == CopyMode::Bands ? BandRows(width) : height;
  for (int top = 0; top < height; top += step) {
    const int rows = std::min(step, height - top);
    if (!calls.bitBlt(into.Dc(), 0, top, width, rows, screen.Get(), 0, top, SRCCOPY)) return false;
  }
  // GDI may batch its drawing; the encoder reads the bits directly, so the
  // copy must have landed in them first.
  ::GdiFlush();
  return true;
}

std::optional<Frame> ScreenGrabber::Grab() {
  // A failed copy leaves the bitmap half old, half new.
  valid_ = CopyScreen(calls_, mode_, target_);
  if (!valid_) return std::nullopt;
  // A 32-bit DIB's rows need no padding.
  return Frame{target_.Bits(),      target_.Width(),   target_.Height(),
               target_.Width() * 4, PixelLayout::Bgrx, true};
}

bool ScreenGrabber::ChooseModeStep(int rounds) {
  if (chosen_) return false;
  // Taking turns, so that a change of load weighs on both alike.
  const CopyMode mode = bandsMs_.size() > wholeMs_.size() ? CopyMode::Whole : CopyMode::Bands;
  // Into the grabber's own bitmap, which is then ready for the first shot.
  LARGE_INTEGER start{};
  ::QueryPerformanceCounter(&start);
  valid_ = false;
  if (!CopyScreen(calls_, mode, target_)) {
    chosen_ = true;
    return false;
  }
  (mode == CopyMode::Bands ? bandsMs_ : wholeMs_).push_back(MillisecondsSince(start));
  if (wholeMs_.size() < static_cast<std::size_t>(rounds) + 1) return true;
  // The first copy of each way paid for making the bitmap and for the
  // first touch of its pages.
  mode_ = ChooseCopyMode(std::span(bandsMs_).subspan(1), std::span(wholeMs_).subspan(1));
  chosen_ = true;
  return false;
}

std::optional<CopyMode> ScreenGrabber::ChooseMode(int rounds) {
  while (ChooseModeStep(rounds)) {
  }
  if (bandsMs_.size() < static_cast<std::size_t>(rounds) + 1 ||
      wholeMs_.size() < static_cast<std::size_t>(rounds) + 1) {
    return std::nullopt;
  }
  return mode_;
}

}  // namespace snapwick::win32
