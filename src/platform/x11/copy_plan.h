#pragma once
// The choices behind a copy of the screen, kept apart from Xlib so that
// they can be tested: which rectangle is the primary screen, which request
// copies it, and how its pixels become the encoder's BGRX.

#include <cstdint>
#include <optional>

namespace snapwick::x11 {

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
  bool Empty() const { return width <= 0 || height <= 0; }
};

// The primary monitor's part of the root window: the primary output's CRTC
// when there is one, cut to the root; the whole root otherwise. Empty when
// nothing of it is on the root.
Rect PrimaryRect(std::optional<Rect> primaryCrtc, int rootWidth, int rootHeight);

// How the server lays out one pixel of the screen.
struct PixelFormat {
  int bitsPerPixel = 32;
  bool msbFirst = false;  // the image's byte order
  std::uint32_t redMask = 0xFF0000;
  std::uint32_t greenMask = 0x00FF00;
  std::uint32_t blueMask = 0x0000FF;
  bool operator==(const PixelFormat&) const = default;
};

// Shared memory spares the pixels the trip through the socket, but only a
// local server can reach our segment, and the segment is sized for 32-bit
// pixels.
enum class CopyRequest : std::uint8_t { SharedMemory, GetImage };

struct CopyPlan {
  CopyRequest request = CopyRequest::GetImage;
  // The pixels are not BGRX as they come and need one pass through
  // ConvertToBgrx; otherwise the encoder reads the copy where it is.
  bool convert = false;
  bool operator==(const CopyPlan&) const = default;
};

// Nothing for pixels this program cannot read (palettes, odd sizes).
std::optional<CopyPlan> PlanCopy(const PixelFormat& format, bool sharedMemoryUsable);

// Rewrites `height` rows of `width` pixels as BGRX, `outStride` bytes
// apart. The format must be one that PlanCopy accepted.
void ConvertToBgrx(const PixelFormat& format, const std::uint8_t* in, int inStride, int width,
                   int height, std::uint8_t* out, int outStride);

}  // namespace snapwick::x11
