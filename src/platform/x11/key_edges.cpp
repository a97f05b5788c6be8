#include "platform/x11/key_edges.h"

namespace snapwick::x11 {
namespace {

KeySet SetOf(std::span<const Keycode> codes) {
  KeySet set;
  for (const Keycode code : codes) {
    if (code < set.size()) set.set(code);
  }
  return set;
}

}  // namespace

void KeyEdges::Watch(std::span<const Keycode> codes, const KeySet& downNow) {
  codes_ = SetOf(codes);
  // Held already: silent until it goes up.
  held_ = downNow & codes_;
  announced_ = false;
}

void KeyEdges::Rekey(std::span<const Keycode> codes) {
  codes_ = SetOf(codes);
  held_ &= codes_;
}

std::optional<bool> KeyEdges::OnKey(Keycode code, bool down, bool repeat) {
  if (code >= codes_.size() || !codes_.test(code) || repeat) return std::nullopt;
  if (down) {
    const bool first = held_.none();
    held_.set(code);
    // A second key of the hotkey (the other Shift) is no new press, and
    // neither is a key that was down when the watch began.
    if (!first || announced_) return std::nullopt;
    announced_ = true;
    return true;
  }
  held_.reset(code);
  if (held_.any() || !announced_) return std::nullopt;
  announced_ = false;
  return false;
}

std::optional<bool> KeyEdges::OnSample(const KeySet& downNow) {
  const KeySet now = downNow & codes_;
  if (announced_ && now.none()) {
    held_.reset();
    announced_ = false;
    return false;
  }
  if (!announced_ && now.any() && held_.none()) {
    held_ = now;
    announced_ = true;
    return true;
  }
  // A key held since the watch began stays silent while it is down.
  held_ = now;
  return std::nullopt;
}

}  // namespace snapwick::x11
