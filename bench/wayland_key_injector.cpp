// A keyboard for a wlroots compositor that a benchmark or a scenario types
// on: a virtual keyboard (virtual-keyboard-unstable-v1) with a real keymap
// compiled from a layout name, so that keys arrive as evdev codes of a PC
// keyboard with the keysyms that layout gives them, and modifiers as a
// real keyboard reports them. Tells when each key left for the compositor.
//
//   snapwick_bench_wayland_keys [LAYOUT]      (default us)
//
// Prints "ready"; then reads lines from stdin:
//   press CODE / release CODE   an evdev key code (KEY_F8 is 66)
// and answers each with "sent NS", the CLOCK_MONOTONIC time at which the
// event had been written to the compositor's socket.

#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "virtual-keyboard-unstable-v1-client-protocol.h"

namespace {

struct Globals {
  wl_seat* seat = nullptr;
  zwp_virtual_keyboard_manager_v1* manager = nullptr;
};

void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t) {
  auto* globals = static_cast<Globals*>(data);
  if (std::strcmp(interface, wl_seat_interface.name) == 0 && !globals->seat) {
    globals->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
  } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
    globals->manager = static_cast<zwp_virtual_keyboard_manager_v1*>(
        wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
  }
}

void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistry = {OnGlobal, OnGlobalRemove};

long long MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

std::uint32_t Milliseconds() { return static_cast<std::uint32_t>(MonotonicNs() / 1000000); }

}  // namespace

int main(int argc, char** argv) {
  const std::string layout = argc > 1 ? argv[1] : "us";
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
  const xkb_rule_names names{"evdev", "pc105", layout.c_str(), "", ""};
  xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
  if (!keymap) {
    std::fprintf(stderr, "keys: no layout %s\n", layout.c_str());
    return 2;
  }
  xkb_state* state = xkb_state_new(keymap);

  wl_display* display = wl_display_connect(nullptr);
  if (!display) {
    std::fprintf(stderr, "keys: no Wayland display\n");
    return 1;
  }
  Globals globals;
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistry, &globals);
  wl_display_roundtrip(display);
  if (!globals.seat || !globals.manager) {
    std::fprintf(stderr, "keys: no seat or no virtual-keyboard protocol\n");
    return 1;
  }
  zwp_virtual_keyboard_v1* keyboard =
      zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(globals.manager, globals.seat);

  char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
  const std::size_t size = std::strlen(text) + 1;
  const int fd = memfd_create("keymap", MFD_CLOEXEC);
  if (fd < 0 || write(fd, text, size) != static_cast<ssize_t>(size)) return 1;
  std::free(text);
  zwp_virtual_keyboard_v1_keymap(keyboard, XKB_KEYMAP_FORMAT_TEXT_V1, fd,
                                 static_cast<std::uint32_t>(size));
  close(fd);
  wl_display_roundtrip(display);
  std::cout << "ready" << std::endl;

  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream words(line);
    std::string what;
    int code = 0;
    words >> what >> code;
    const bool press = what == "press";
    if (!press && what != "release") {
      std::cout << "unknown " << what << std::endl;
      continue;
    }
    zwp_virtual_keyboard_v1_key(
        keyboard, Milliseconds(), static_cast<std::uint32_t>(code),
        press ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    // Modifiers follow the keys, as a real keyboard's state does.
    const xkb_state_component changed = xkb_state_update_key(
        state, static_cast<xkb_keycode_t>(code + 8), press ? XKB_KEY_DOWN : XKB_KEY_UP);
    if (changed) {
      zwp_virtual_keyboard_v1_modifiers(
          keyboard, xkb_state_serialize_mods(state, XKB_STATE_MODS_DEPRESSED),
          xkb_state_serialize_mods(state, XKB_STATE_MODS_LATCHED),
          xkb_state_serialize_mods(state, XKB_STATE_MODS_LOCKED),
          xkb_state_serialize_layout(state, XKB_STATE_LAYOUT_EFFECTIVE));
    }
    if (wl_display_flush(display) < 0) return 1;
    std::cout << "sent " << MonotonicNs() << std::endl;
  }
  zwp_virtual_keyboard_v1_destroy(keyboard);
  wl_display_roundtrip(display);
  zwp_virtual_keyboard_manager_v1_destroy(globals.manager);
  wl_seat_destroy(globals.seat);
  wl_registry_destroy(registry);
  wl_display_disconnect(display);
  xkb_state_unref(state);
  xkb_keymap_unref(keymap);
  xkb_context_unref(context);
  return 0;
}
