#include "platform/linux/compositor_key_order.h"

namespace snapwick::linux {

bool CompositorKeyOrder::Before(std::uint32_t a, std::uint32_t b) const {
  if (a == 0 || b == 0 || idLimit_ < 2) return false;
  const std::uint64_t limit = idLimit_;
  const std::uint64_t ahead = (b % limit + limit - a % limit) % limit;
  return ahead != 0 && ahead < limit / 2;
}

std::vector<CompositorKey> CompositorKeyOrder::Heard(CompositorKey key, std::uint32_t id,
                                                     Clock::time_point now) {
  switch (key) {
    case CompositorKey::Press:
      break;
    case CompositorKey::Down:
      if (upId_ != 0 && now - upAt_ <= kRace && Before(id, upId_)) {
        if (!upLonely_) return {};
        upLonely_ = false;
        return {CompositorKey::Down, CompositorKey::Up};
      }
      // A second Down before an Up is the binding's repeat (sway's bindsym
      // without --no-repeat), which the core knows as one.
      if (!down_ || !Before(id, downId_)) {
        downId_ = id;
        downAt_ = now;
      }
      down_ = true;
      break;
    case CompositorKey::Up:
      if (down_ && now - downAt_ <= kRace && Before(id, downId_)) return {};
      upLonely_ = !down_;
      upId_ = id;
      upAt_ = now;
      down_ = false;
      break;
  }
  return {key};
}

}  // namespace snapwick::linux
