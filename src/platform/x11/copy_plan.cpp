#include "platform/x11/copy_plan.h"

#include <algorithm>
#include <bit>

namespace snapwick::x11 {
namespace {

bool Readable(const PixelFormat& f) {
  if (f.bitsPerPixel != 16 && f.bitsPerPixel != 24 && f.bitsPerPixel != 32) return false;
  // A channel whose mask is empty or has holes cannot be scaled to 8 bits.
  for (const std::uint32_t mask : {f.redMask, f.greenMask, f.blueMask}) {
    if (mask == 0) return false;
    const std::uint32_t shifted = mask >> std::countr_zero(mask);
    if ((shifted & (shifted + 1)) != 0) return false;
    if (f.bitsPerPixel < 32 && (mask >> f.bitsPerPixel) != 0) return false;
  }
  return true;
}

bool IsBgrx(const PixelFormat& f) {
  return f.bitsPerPixel == 32 && !f.msbFirst && f.redMask == 0xFF0000 && f.greenMask == 0x00FF00 &&
         f.blueMask == 0x0000FF;
}

// One channel of a pixel value scaled to 0..255.
struct Channel {
  explicit Channel(std::uint32_t mask)
      : shift(std::countr_zero(mask)), max(mask >> std::countr_zero(mask)) {}
  std::uint8_t Of(std::uint32_t pixel) const {
    const std::uint32_t v = (pixel >> shift) & max;
    return static_cast<std::uint8_t>((static_cast<std::uint64_t>(v) * 255 + max / 2) / max);
  }
  int shift;
  std::uint32_t max;
};

std::uint32_t PixelAt(const std::uint8_t* p, int bytes, bool msbFirst) {
  std::uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) {
    const int from = msbFirst ? i : bytes - 1 - i;
    v = v << 8 | p[from];
  }
  return v;
}

}  // namespace

Rect PrimaryRect(std::optional<Rect> primaryCrtc, int rootWidth, int rootHeight) {
  const Rect root{0, 0, std::max(rootWidth, 0), std::max(rootHeight, 0)};
  if (!primaryCrtc || primaryCrtc->Empty()) return root;
  // A CRTC that reaches past the root (during a change of size) would make
  // the copy fail: only its part on the root is copied.
  const int left = std::max(primaryCrtc->x, 0);
  const int top = std::max(primaryCrtc->y, 0);
  const int right = std::min(primaryCrtc->x + primaryCrtc->width, root.width);
  const int bottom = std::min(primaryCrtc->y + primaryCrtc->height, root.height);
  if (right <= left || bottom <= top) return {};
  return {left, top, right - left, bottom - top};
}

std::optional<CopyPlan> PlanCopy(const PixelFormat& format, bool sharedMemoryUsable) {
  if (!Readable(format)) return std::nullopt;
  const bool shared = sharedMemoryUsable && format.bitsPerPixel == 32;
  return CopyPlan{shared ? CopyRequest::SharedMemory : CopyRequest::GetImage, !IsBgrx(format)};
}

void ConvertToBgrx(const PixelFormat& format, const std::uint8_t* in, int inStride, int width,
                   int height, std::uint8_t* out, int outStride) {
  const Channel red(format.redMask), green(format.greenMask), blue(format.blueMask);
  const int bytes = format.bitsPerPixel / 8;
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* src = in + static_cast<std::ptrdiff_t>(y) * inStride;
    std::uint8_t* dst = out + static_cast<std::ptrdiff_t>(y) * outStride;
    for (int x = 0; x < width; ++x, src += bytes, dst += 4) {
      const std::uint32_t pixel = PixelAt(src, bytes, format.msbFirst);
      dst[0] = blue.Of(pixel);
      dst[1] = green.Of(pixel);
      dst[2] = red.Of(pixel);
      dst[3] = 0xFF;
    }
  }
}

}  // namespace snapwick::x11
