#include "probe_copy.h"

#include <algorithm>

namespace snapwick::bench {

ProbeCopy::ProbeCopy(CopyWay way) : way_(way) { dc_.Reset(::CreateCompatibleDC(nullptr)); }

ProbeCopy::~ProbeCopy() {
  if (original_) ::SelectObject(dc_.Get(), original_);
}

bool ProbeCopy::Copy() {
  const int width = ::GetSystemMetrics(SM_CXSCREEN);
  const int height = ::GetSystemMetrics(SM_CYSCREEN);
  HDC screen = ::GetDC(nullptr);
  if (!bitmap_ || width != width_ || height != height_) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    if (original_) ::SelectObject(dc_.Get(), original_);
    bitmap_.Reset(::CreateDIBSection(dc_.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    original_ = ::SelectObject(dc_.Get(), bitmap_.Get());
    bits_ = static_cast<const std::uint8_t*>(bits);
    width_ = width;
    height_ = height;
  }
  constexpr int kBandBytes = 256 * 1024;
  const int rows = way_ == CopyWay::Whole ? height : std::max(1, kBandBytes / (width * 4));
  BOOL copied = TRUE;
  for (int top = 0; copied && top < height; top += rows) {
    const int band = std::min(rows, height - top);
    copied = ::BitBlt(dc_.Get(), 0, top, width, band, screen, 0, top, SRCCOPY);
  }
  ::ReleaseDC(nullptr, screen);
  // The TurboJPEG probe reads the bits themselves.
  ::GdiFlush();
  return copied != FALSE && bits_ != nullptr;
}

}  // namespace snapwick::bench
