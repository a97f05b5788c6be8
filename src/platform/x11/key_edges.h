#pragma once
// The hotkey's edges as the X server shows them. Its raw key events
// (XInput 2.1) tell of every key that goes down or up anywhere, whatever
// window has the focus; the keymap (XQueryKeymap), asked at the core's
// ticks, tells which keys are down at that moment. The hotkey is down
// while any of its keys is (both Shift keys for VK_SHIFT), so its edges
// are the first of them going down and the last going up. A held key's
// repeats are no edges. The keymap mends what the events missed: a
// release that never came (the key went up during a server grab) or a
// press whose event is still on its way. A key that is down when the
// watch begins was pressed for something else: it makes no edge, neither
// down nor, later, up. Kept apart from Xlib so that it can be tested
// alone.

#include <bitset>
#include <optional>
#include <span>

#include "platform/linux/keymap.h"

namespace snapwick::x11 {

using linux::Keycode;
using linux::KeyDescription;

// Keys by X keycode.
using KeySet = std::bitset<256>;

class KeyEdges {
 public:
  // The keys that make the hotkey down (none: nothing is watched) and
  // those the server has down now.
  void Watch(std::span<const Keycode> codes, const KeySet& downNow);
  // The keys of the same hotkey after a change of the keymap or of Num
  // Lock; what is held of the old ones and not among the new ones is
  // forgotten without an edge.
  void Rekey(std::span<const Keycode> codes);
  // A raw key event; true or false for a down or an up edge.
  std::optional<bool> OnKey(Keycode code, bool down, bool repeat);
  // What the keymap shows now.
  std::optional<bool> OnSample(const KeySet& downNow);

  bool Down() const { return announced_; }

 private:
  KeySet codes_;
  KeySet held_;             // the hotkey's keys down, as far as known
  bool announced_ = false;  // a down edge went out and no up since
};

}  // namespace snapwick::x11
