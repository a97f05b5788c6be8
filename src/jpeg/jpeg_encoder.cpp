#include "jpeg/jpeg_encoder.h"

#include <turbojpeg.h>

#include <algorithm>
#include <limits>

namespace snapwick::jpeg {
namespace {

int TurboFormat(PixelOrder order) {
  switch (order) {
    case PixelOrder::Bgrx:
      return TJPF_BGRX;
    case PixelOrder::Rgbx:
      return TJPF_RGBX;
    case PixelOrder::Xrgb:
      return TJPF_XRGB;
    case PixelOrder::Xbgr:
      return TJPF_XBGR;
  }
  return TJPF_BGRX;
}

}  // namespace

int EncoderQuality(int quality) { return std::clamp(quality, 1, 100); }

bool ValidPixels(const Pixels& pixels) {
  return pixels.data && pixels.width > 0 && pixels.height > 0 &&
         pixels.width <= std::numeric_limits<int>::max() / 4 && pixels.stride >= pixels.width * 4;
}

JpegEncoder::JpegEncoder() : handle_(tjInitCompress()) {}

JpegEncoder::~JpegEncoder() {
  if (handle_) tjDestroy(static_cast<tjhandle>(handle_));
  tjFree(buffer_);
}

bool JpegEncoder::Reserve(int width, int height) {
  // The worst case for the size; a larger screen needs a larger buffer, a
  // shot of the same screen reuses the one it has.
  const unsigned long needed = tjBufSize(width, height, TJSAMP_420);
  // tjAlloc takes an int: a buffer it cannot make must not be promised to
  // the compressor.
  if (needed == static_cast<unsigned long>(-1) ||
      needed > static_cast<unsigned long>(std::numeric_limits<int>::max())) {
    return false;
  }
  if (needed <= capacity_) return true;
  tjFree(buffer_);
  buffer_ = tjAlloc(static_cast<int>(needed));
  capacity_ = buffer_ ? needed : 0;
  return buffer_ != nullptr;
}

Encoded JpegEncoder::Encode(const Pixels& pixels, int quality) {
  size_ = 0;
  if (!ValidPixels(pixels)) return Encoded::InvalidPicture;
  if (!handle_) return Encoded::OutOfMemory;
  if (!Reserve(pixels.width, pixels.height)) return Encoded::OutOfMemory;

  unsigned long size = capacity_;
  unsigned char* out = buffer_;
  const int flags = TJFLAG_NOREALLOC | (pixels.bottomUp ? TJFLAG_BOTTOMUP : 0);
  if (tjCompress2(static_cast<tjhandle>(handle_), pixels.data, pixels.width, pixels.stride,
                  pixels.height, TurboFormat(pixels.order), &out, &size, TJSAMP_420,
                  EncoderQuality(quality), flags) != 0) {
    return Encoded::Failed;
  }
  size_ = size;
  return Encoded::Ok;
}

}  // namespace snapwick::jpeg
