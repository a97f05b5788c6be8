#pragma once
// The primary screen, as a frame of pixels in memory.

#include <cstdint>
#include <optional>

#include "platform/status.h"

namespace snapwick {

// The order of a pixel's four bytes in memory; the fourth byte (x) is not
// read.
enum class PixelLayout : std::uint8_t { Bgrx, Rgbx, Xrgb, Xbgr };

// Pixels of the primary screen, four bytes each, held by the platform
// until the next grab.
struct Frame {
  const std::uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;  // bytes from one row to the next in memory
  PixelLayout layout = PixelLayout::Bgrx;
  bool bottomUp = false;  // the first row in memory is the bottom one
};

// What a grab gave at once.
struct ScreenGrab {
  enum class State : std::uint8_t {
    Ready,    // `frame` holds the screen
    Pending,  // the frame comes later, as WindowEvents::OnScreenGrabbed
    Failed,   // no copy could be made
  };
  State state = State::Failed;
  Frame frame;
};

// A grab made at once: its frame, or Failed without one.
inline ScreenGrab GrabbedNow(const std::optional<Frame>& frame) {
  return frame ? ScreenGrab{ScreenGrab::State::Ready, *frame} : ScreenGrab{};
}

class ScreenApi {
 public:
  virtual ~ScreenApi() = default;

  // The whole primary screen, measured afresh, so that a change of
  // resolution is taken up. Where the system needs time to answer (a
  // desktop's screenshot service), the grab is Pending and its frame, or
  // nothing, comes later as an event; the program asks for no other frame
  // meanwhile. Nothing when no copy could be made: no screen to copy
  // from, a screen of no size, or a copy that failed.
  virtual ScreenGrab GrabScreen() = 0;
  // Whether shots can come now (a key is in force). Where the screen must
  // first be asked of the user (a desktop's screen-cast chooser), it is
  // asked only once this is on, and what was set up for shots may go when
  // it is off.
  virtual Status SetScreenWanted(bool wanted) = 0;
};

}  // namespace snapwick
