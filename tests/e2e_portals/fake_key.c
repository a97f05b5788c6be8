// Presses keys on KWin through its fake-input protocol, which kwin offers
// to every client when it runs with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1:
// virtual keyboards (wtype) are refused there, and keys sent through
// Xwayland never reach global shortcuts.
//
// Reads commands from stdin, one a line, and answers each once the
// compositor has handled it, with CLOCK_MONOTONIC in nanoseconds:
//   down CODE | up CODE       an evdev key code (F8 is 66)
//   tap CODE MS               down, MS milliseconds, up
//   click X Y                 the pointer to X, Y (compositor pixels) and a
//                             left click there
// "ok DOWN_NS [UP_NS]" or "error ...".

#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

#include "fake-input-client-protocol.h"

static struct org_kde_kwin_fake_input* fakeInput;

static void OnGlobal(void* data, struct wl_registry* registry, uint32_t name,
                     const char* interface, uint32_t version) {
  (void)data;
  if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4) {
    fakeInput = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4);
  }
}

static void OnGlobalRemove(void* data, struct wl_registry* registry, uint32_t name) {
  (void)data;
  (void)registry;
  (void)name;
}

static const struct wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

static long long NowNs(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
}

// Sends the key and waits until the compositor has read it, so that the
// time printed is when the key really went down or up.
static long long Key(struct wl_display* display, unsigned code, unsigned state) {
  org_kde_kwin_fake_input_keyboard_key(fakeInput, code, state);
  wl_display_roundtrip(display);
  return NowNs();
}

int main(void) {
  struct wl_display* display = wl_display_connect(NULL);
  if (!display) {
    fprintf(stderr, "fake_key: no Wayland display\n");
    return 1;
  }
  struct wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistryListener, NULL);
  wl_display_roundtrip(display);
  if (!fakeInput) {
    fprintf(stderr, "fake_key: the compositor offers no org_kde_kwin_fake_input version 4\n");
    return 1;
  }
  org_kde_kwin_fake_input_authenticate(fakeInput, "snapwick tests", "pressing the hotkey");
  wl_display_roundtrip(display);
  printf("ready\n");
  fflush(stdout);

  char line[128];
  while (fgets(line, sizeof line, stdin)) {
    unsigned code = 0, ms = 0;
    if (sscanf(line, "down %u", &code) == 1) {
      printf("ok %lld\n", Key(display, code, 1));
    } else if (sscanf(line, "up %u", &code) == 1) {
      printf("ok %lld\n", Key(display, code, 0));
    } else if (sscanf(line, "tap %u %u", &code, &ms) == 2) {
      long long down = Key(display, code, 1);
      struct timespec hold = {ms / 1000, (long)(ms % 1000) * 1000000L};
      nanosleep(&hold, NULL);
      long long up = Key(display, code, 0);
      printf("ok %lld %lld\n", down, up);
    } else if (sscanf(line, "click %u %u", &code, &ms) == 2) {
      org_kde_kwin_fake_input_pointer_motion_absolute(fakeInput, wl_fixed_from_int((int)code),
                                                      wl_fixed_from_int((int)ms));
      wl_display_roundtrip(display);
      const unsigned kLeftButton = 0x110;
      org_kde_kwin_fake_input_button(fakeInput, kLeftButton, 1);
      org_kde_kwin_fake_input_button(fakeInput, kLeftButton, 0);
      wl_display_roundtrip(display);
      printf("ok %lld\n", NowNs());
    } else {
      printf("error %s", line);
    }
    fflush(stdout);
    if (wl_display_get_error(display)) {
      fprintf(stderr, "fake_key: the connection failed\n");
      return 1;
    }
  }
  wl_display_disconnect(display);
  return 0;
}
