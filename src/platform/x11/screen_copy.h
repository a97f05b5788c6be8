#pragma once
// Copies of the primary monitor, through shared memory where the server
// can reach ours, by a plain request otherwise. The last copy is held
// until the next, so that the encoder reads its pixels where they are.
// Every request waits for its reply, so a grab takes as long as the server
// does and no longer.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/linux/session_parts.h"
#include "platform/screen.h"
#include "platform/x11/copy_plan.h"
#include "platform/x11/x_display.h"

namespace snapwick::x11 {

class ScreenCopier final : public linux::ScreenSource {
 public:
  // Needs XDisplay::TakeErrors: a refused shared-memory attach is known
  // only by its error.
  explicit ScreenCopier(std::shared_ptr<XDisplay> display);
  ~ScreenCopier() override;
  ScreenCopier(const ScreenCopier&) = delete;
  ScreenCopier& operator=(const ScreenCopier&) = delete;

  // The primary monitor measured afresh, as BGRX rows from the top.
  // Nothing when no copy could be made; the previous copy is gone then
  // too.
  std::optional<Frame> Copy();
  ScreenGrab Grab() override { return GrabbedNow(Copy()); }
  // Whether copies go through shared memory (until an attach fails).
  bool UsesSharedMemory() const { return sharedMemoryUsable_; }

 private:
  struct SharedImage;
  struct PlainImage;

  // The primary monitor's rectangle; nothing when no monitor is primary.
  std::optional<Rect> PrimaryArea();
  std::optional<Rect> PrimaryCrtc();
  bool CopyShared(const Rect& r);
  bool CopyPlain(const Rect& r);

  std::shared_ptr<XDisplay> owner_;
  XDisplay& display_;
  PixelFormat format_;
  bool sharedMemoryUsable_ = false;
  bool randr_ = false;
  bool monitors_ = false;
  std::unique_ptr<SharedImage> shared_;
  std::unique_ptr<PlainImage> plain_;
  // The pixels converted to BGRX, for a screen that has them otherwise.
  std::vector<std::uint8_t> converted_;
};

}  // namespace snapwick::x11
