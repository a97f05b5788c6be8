#pragma once
// The keys released over the program's window named from the keymap that
// the compositor sends the program's keyboard and the layout it says is
// active, as the X11 build names them from the X server's keymap, so that
// set.ini means the same key in both sessions.
//
// On Wayland each keyboard brings a keymap of its own. A virtual keyboard
// (wtype, an on-screen keyboard) may bring one made for the few keys it
// types, named K1, K2... at whatever key codes, with no physical key
// behind them: such a key is known by the keysym it types, as the US PC
// keyboard types it. So is a key typed on a keyboard whose keymap has not
// reached the program's keyboard yet (Qt hears of a new keyboard first):
// the keysym that Qt read tells that the keymap known here is not the
// key's.

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/linux/keymap.h"

struct xkb_context;
struct xkb_keymap;

namespace snapwick::wayland {

class SeatKeyNames {
 public:
  SeatKeyNames();
  ~SeatKeyNames();
  SeatKeyNames(const SeatKeyNames&) = delete;
  SeatKeyNames& operator=(const SeatKeyNames&) = delete;

  // The keymap as the compositor sent it (XKB's text format); false, with
  // the keymap before kept, when it does not compile.
  bool SetKeymap(std::string_view text);
  // The active layout (XKB group), as the compositor's modifiers say.
  void SetLayout(std::uint32_t layout) { layout_ = layout; }

  // The key's code and name; nothing for a key the program ignores.
  // `modifiers`: the depressed, latched and locked modifiers (Num Lock
  // decides the keypad's keys); `keysym`: what the key typed, 0 if unknown.
  std::optional<linux::KeyDescription> Describe(std::uint32_t keycode, std::uint32_t modifiers,
                                                std::uint32_t keysym) const;

  // The newest keymap of a PC keyboard (one whose keys carry the PC keys'
  // names), whose first layout decides which key a letter is; nullptr
  // before any came. Valid until the next SetKeymap.
  xkb_keymap* PcKeymap() const;

 private:
  struct Keymap;
  bool IsPcKey(const Keymap& keymap, std::uint32_t keycode) const;
  bool Types(const Keymap& keymap, std::uint32_t keycode, std::uint32_t keysym) const;
  std::optional<linux::KeyDescription> ByKeysym(std::uint32_t keysym) const;

  xkb_context* context_ = nullptr;
  // The US PC keyboard: which key names are a PC keyboard's, and the key
  // that types a keysym.
  std::unique_ptr<Keymap> reference_;
  std::shared_ptr<Keymap> current_;
  std::shared_ptr<Keymap> pc_;
  std::uint32_t layout_ = 0;
};

}  // namespace snapwick::wayland
