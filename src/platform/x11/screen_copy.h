#pragma once
// Copies of the primary monitor, through shared memory where the server
// can reach ours, by a plain request otherwise. The last copy is held
// until the next, so that the encoder reads its pixels where they are.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "jpeg/jpeg_encoder.h"
#include "platform/screen.h"
#include "platform/x11/copy_plan.h"
#include "platform/x11/x_display.h"

namespace snapwick::x11 {

class ScreenCopier {
 public:
  explicit ScreenCopier(XDisplay& display);
  ~ScreenCopier();
  ScreenCopier(const ScreenCopier&) = delete;
  ScreenCopier& operator=(const ScreenCopier&) = delete;

  // The primary monitor measured afresh. Nothing when no copy could be
  // made; the previous copy is gone then too.
  std::optional<ScreenImage> Grab();
  // The pixels of the last copy; nothing for any other image.
  std::optional<jpeg::BgrxPixels> PixelsOf(const ScreenImage& image) const;

 private:
  struct SharedImage;
  struct PlainImage;

  // The primary monitor's rectangle; nothing when no monitor is primary.
  std::optional<Rect> PrimaryArea();
  std::optional<Rect> PrimaryCrtc();
  bool CopyShared(const Rect& r);
  bool CopyPlain(const Rect& r);

  XDisplay& display_;
  PixelFormat format_;
  bool sharedMemoryUsable_ = false;
  bool randr_ = false;
  bool monitors_ = false;
  std::unique_ptr<SharedImage> shared_;
  std::unique_ptr<PlainImage> plain_;
  // Where the encoder reads the last copy: the image itself, or converted.
  std::vector<std::uint8_t> converted_;
  std::optional<jpeg::BgrxPixels> pixels_;
  std::uintptr_t lastId_ = 0;
};

}  // namespace snapwick::x11
