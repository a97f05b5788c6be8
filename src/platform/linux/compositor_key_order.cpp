#include "platform/linux/compositor_key_order.h"

namespace snapwick::linux {

std::vector<CompositorKey> CompositorKeyOrder::Heard(CompositorKey key, Clock::time_point now) {
  switch (key) {
    case CompositorKey::Press:
      break;
    case CompositorKey::Down: {
      const bool late = lonelyUp_ && now - *lonelyUp_ <= kLatePress;
      lonelyUp_.reset();
      if (late) {
        down_ = false;
        return {CompositorKey::Down, CompositorKey::Up};
      }
      // A second Down before an Up is the binding's repeat (sway's bindsym
      // without --no-repeat): the core knows it as one.
      down_ = true;
      break;
    }
    case CompositorKey::Up:
      if (!down_) lonelyUp_ = now;
      down_ = false;
      break;
  }
  return {key};
}

}  // namespace snapwick::linux
