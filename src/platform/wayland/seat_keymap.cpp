#include "platform/wayland/seat_keymap.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace snapwick::wayland {

struct SeatKeymap::Listeners {
  static void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version) {
    auto* self = static_cast<SeatKeymap*>(data);
    if (self->seat_ || std::strcmp(interface, wl_seat_interface.name) != 0) return;
    // Version 7 asks for the keymap to be mapped privately, as it is here.
    self->seatVersion_ = std::min<std::uint32_t>(version, 7);
    self->seat_ = static_cast<wl_seat*>(
        wl_registry_bind(registry, name, &wl_seat_interface, self->seatVersion_));
    wl_seat_add_listener(self->seat_, &kSeat, self);
  }
  static void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}

  static void OnCapabilities(void* data, wl_seat*, std::uint32_t capabilities) {
    static_cast<SeatKeymap*>(data)->OnCapabilities(capabilities);
  }
  static void OnSeatName(void*, wl_seat*, const char*) {}

  static void OnKeymap(void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd,
                       std::uint32_t size) {
    auto* self = static_cast<SeatKeymap*>(data);
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
      void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
      if (text != MAP_FAILED) {
        self->names_.SetKeymap(std::string_view(static_cast<const char*>(text), size));
        munmap(text, size);
      }
    }
    close(fd);
  }
  static void OnEnter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
  static void OnLeave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {}
  static void OnKey(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t,
                    std::uint32_t) {}
  static void OnModifiers(void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t,
                          std::uint32_t, std::uint32_t group) {
    static_cast<SeatKeymap*>(data)->names_.SetLayout(group);
  }
  static void OnRepeatInfo(void*, wl_keyboard*, std::int32_t, std::int32_t) {}

  static constexpr wl_registry_listener kRegistry = {OnGlobal, OnGlobalRemove};
  static constexpr wl_seat_listener kSeat = {OnCapabilities, OnSeatName};
  static constexpr wl_keyboard_listener kKeyboard = {OnKeymap, OnEnter,     OnLeave,
                                                     OnKey,    OnModifiers, OnRepeatInfo};
};

std::unique_ptr<SeatKeymap> SeatKeymap::Attach(wl_display* display) {
  if (!display) return nullptr;
  std::unique_ptr<SeatKeymap> keymap(new SeatKeymap());
  // A queue of its own while starting: the round trips below then wait
  // for this keyboard's answers alone, and dispatch none of Qt's events
  // behind its back.
  wl_event_queue* queue = wl_display_create_queue(display);
  if (!queue) return nullptr;
  auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
  if (!wrapper) {
    wl_event_queue_destroy(queue);
    return nullptr;
  }
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
  keymap->registry_ = wl_display_get_registry(wrapper);
  wl_proxy_wrapper_destroy(wrapper);
  wl_registry_add_listener(keymap->registry_, &Listeners::kRegistry, keymap.get());
  // The globals, then the seat's capabilities, then the keyboard's keymap.
  for (int step = 0; step < 3; ++step) {
    if (wl_display_roundtrip_queue(display, queue) < 0) break;
  }
  // From now on with Qt's events, on Qt's thread: a keyboard made later
  // follows its seat's queue.
  for (void* proxy : {static_cast<void*>(keymap->registry_), static_cast<void*>(keymap->seat_),
                      static_cast<void*>(keymap->keyboard_)}) {
    if (proxy) wl_proxy_set_queue(static_cast<wl_proxy*>(proxy), nullptr);
  }
  wl_display_dispatch_queue_pending(display, queue);
  wl_event_queue_destroy(queue);
  if (!keymap->seat_) return nullptr;
  return keymap;
}

SeatKeymap::~SeatKeymap() {
  ReleaseKeyboard();
  if (seat_) {
    if (seatVersion_ >= WL_SEAT_RELEASE_SINCE_VERSION) {
      wl_seat_release(seat_);
    } else {
      wl_seat_destroy(seat_);
    }
  }
  if (registry_) wl_registry_destroy(registry_);
}

void SeatKeymap::OnCapabilities(std::uint32_t capabilities) {
  const bool hasKeyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
  if (hasKeyboard && !keyboard_) {
    keyboard_ = wl_seat_get_keyboard(seat_);
    wl_keyboard_add_listener(keyboard_, &Listeners::kKeyboard, this);
  } else if (!hasKeyboard && keyboard_) {
    // The keyboard that went is dead for good; the next one gets a new one.
    ReleaseKeyboard();
  }
}

void SeatKeymap::ReleaseKeyboard() {
  if (!keyboard_) return;
  if (seatVersion_ >= WL_KEYBOARD_RELEASE_SINCE_VERSION) {
    wl_keyboard_release(keyboard_);
  } else {
    wl_keyboard_destroy(keyboard_);
  }
  keyboard_ = nullptr;
}

std::optional<linux::KeyDescription> SeatKeymap::Describe(std::uint32_t nativeScanCode,
                                                          std::uint32_t nativeModifiers,
                                                          std::uint32_t keysym) {
  return names_.Describe(nativeScanCode, nativeModifiers, keysym);
}

}  // namespace snapwick::wayland
