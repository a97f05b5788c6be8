#pragma once
// The seat's keymap and active layout, heard on a keyboard of the
// program's own on Qt's Wayland connection: the compositor tells a
// client's every keyboard the keymap, and the focused client's the layout
// in force, so this keyboard hears what Qt's own does. Qt's keyboard is
// Qt's: its keymap and layout are not for the program to read.
//
// The keyboard is made on a seat of its own (bound from a registry of its
// own), because a seat without a keyboard refuses one with a protocol
// error that would end Qt's connection: it is asked for only once the
// seat says it has one, and made anew each time a keyboard comes (every
// virtual keyboard, such as wtype, comes and goes with its program). Its
// events are dispatched by Qt's event loop with Qt's own.

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/linux/session_parts.h"
#include "platform/wayland/seat_key_names.h"

struct wl_display;
struct wl_keyboard;
struct wl_registry;
struct wl_seat;
struct xkb_keymap;

namespace snapwick::wayland {

class SeatKeymap final : public linux::SessionKeymap {
 public:
  // On `display`, Qt's connection (see MakeWaylandSession). Waits for the
  // compositor's first keymap, three round trips; nothing when the
  // compositor offers no seat.
  static std::unique_ptr<SeatKeymap> Attach(wl_display* display);
  ~SeatKeymap() override;
  SeatKeymap(const SeatKeymap&) = delete;
  SeatKeymap& operator=(const SeatKeymap&) = delete;

  std::optional<linux::KeyDescription> Describe(std::uint32_t nativeScanCode,
                                                std::uint32_t nativeModifiers,
                                                std::uint32_t keysym) override;
  // The newest keymap of a PC keyboard (SeatKeyNames::PcKeymap).
  xkb_keymap* PcKeymap() { return names_.PcKeymap(); }

 private:
  struct Listeners;
  SeatKeymap() = default;
  void OnCapabilities(std::uint32_t capabilities);
  void ReleaseKeyboard();

  SeatKeyNames names_;
  wl_registry* registry_ = nullptr;
  wl_seat* seat_ = nullptr;
  std::uint32_t seatVersion_ = 0;
  wl_keyboard* keyboard_ = nullptr;
};

}  // namespace snapwick::wayland
