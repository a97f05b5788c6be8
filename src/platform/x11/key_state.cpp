#include "platform/x11/key_state.h"

#include <X11/XKBlib.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon-x11.h>

#include "platform/x11/keymap.h"

namespace snapwick::x11 {
namespace {

struct ContextDeleter {
  void operator()(xkb_context* c) const { xkb_context_unref(c); }
};
struct KeymapDeleter {
  void operator()(xkb_keymap* k) const { xkb_keymap_unref(k); }
};

constexpr unsigned kSelectedXkbEvents = XkbNewKeyboardNotifyMask | XkbMapNotifyMask;

// The layout (XKB group) in force is kept in bits 13 and 14 of a core
// event's state.
std::uint32_t LayoutOf(unsigned eventState) { return (eventState >> 13) & 3; }

bool Down(const char (&keys)[32], unsigned code) {
  return code < 256 && (static_cast<unsigned char>(keys[code / 8]) >> (code % 8) & 1) != 0;
}

KeySet ToKeySet(const char (&keys)[32]) {
  KeySet set;
  for (unsigned code = 0; code < 256; ++code) {
    if (Down(keys, code)) set.set(code);
  }
  return set;
}

}  // namespace

struct KeyState::Keymap {
  std::unique_ptr<KeyMap> map;
  unsigned numLockMask = 0;
};

KeyState::KeyState(XDisplay& display) : display_(display) {
  int opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
  if (::XkbQueryExtension(display_.Get(), &opcode, &xkbEventBase_, &error, &major, &minor)) {
    ::XkbSelectEvents(display_.Get(), XkbUseCoreKbd, kSelectedXkbEvents, kSelectedXkbEvents);
  } else {
    xkbEventBase_ = -1;
  }
}

KeyState::~KeyState() = default;

KeyState::Keymap* KeyState::CurrentKeymap() {
  ProcessEvents();
  if (!stale_) return keymap_.get();
  stale_ = false;
  keymap_.reset();
  xcb_connection_t* connection = ::XGetXCBConnection(display_.Get());
  if (!connection || !xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                                  XKB_X11_MIN_MINOR_XKB_VERSION,
                                                  XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr,
                                                  nullptr, nullptr, nullptr)) {
    return nullptr;
  }
  const std::int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
  if (device < 0) return nullptr;
  const std::unique_ptr<xkb_context, ContextDeleter> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
  if (!context) return nullptr;
  const std::unique_ptr<xkb_keymap, KeymapDeleter> keymap(xkb_x11_keymap_new_from_device(
      context.get(), connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS));
  if (!keymap) return nullptr;
  // The map reads what it needs now; the keymap goes at the end of this.
  auto made = std::make_unique<Keymap>();
  made->map = std::make_unique<KeyMap>(keymap.get());
  made->numLockMask = ::XkbKeysymToModifiers(display_.Get(), XK_Num_Lock);
  keymap_ = std::move(made);
  return keymap_.get();
}

bool KeyState::IsKeycodeDown(unsigned keycode) {
  char keys[32] = {};
  ::XQueryKeymap(display_.Get(), keys);
  return Down(keys, keycode);
}

bool KeyState::NumLockOn(const Keymap& keymap) {
  XkbStateRec state{};
  return keymap.numLockMask != 0 &&
         ::XkbGetState(display_.Get(), XkbUseCoreKbd, &state) == Success &&
         (state.mods & keymap.numLockMask) != 0;
}

bool KeyState::IsDown(int virtualKey, const Decide& decide) {
  Keymap* keymap = CurrentKeymap();
  if (!keymap) return false;
  // Num Lock is asked for only where it matters: the keypad's keys.
  const bool numLockOn = keymap->map->FollowsNumLock(virtualKey) && NumLockOn(*keymap);
  const auto codes = keymap->map->KeycodesOf(virtualKey, numLockOn);
  if (codes.empty()) return false;
  return decide(codes, [this] {
    const KeySet down = DownNow();
    // The server sends events before the reply that follows them: a press
    // that the keymap no longer shows (a short tap) has been read by now.
    // Reading marks the keymap stale at most; the codes stay valid.
    ProcessEvents();
    return down;
  });
}

KeySet KeyState::DownNow() {
  char keys[32] = {};
  ::XQueryKeymap(display_.Get(), keys);
  return ToKeySet(keys);
}

bool KeyState::WatchKeys(OnKey onKey) {
  Display* display = display_.Get();
  int opcode = 0, event = 0, error = 0;
  if (!::XQueryExtension(display, "XInputExtension", &opcode, &event, &error)) return false;
  // Before 2.1 the server keeps raw events from a client while another one
  // (a window manager's shortcut) grabs the key: a hotkey could go unseen.
  int major = 2, minor = 2;
  if (::XIQueryVersion(display, &major, &minor) != Success || major < 2 ||
      (major == 2 && minor < 1)) {
    return false;
  }
  unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
  XISetMask(bits, XI_RawKeyPress);
  XISetMask(bits, XI_RawKeyRelease);
  XIEventMask mask{};
  mask.deviceid = XIAllMasterDevices;
  mask.mask_len = sizeof(bits);
  mask.mask = bits;
  XErrorTrap trap(display_);
  ::XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
  if (trap.Failed()) return false;
  xinputOpcode_ = opcode;
  onKey_ = std::move(onKey);
  return true;
}

std::optional<KeyInfo> KeyState::Describe(unsigned keycode, unsigned eventState) {
  Keymap* keymap = CurrentKeymap();
  if (!keymap) return std::nullopt;
  const bool numLockOn = keymap->numLockMask != 0 && (eventState & keymap->numLockMask) != 0;
  const auto key = keymap->map->Describe(keycode, LayoutOf(eventState), numLockOn);
  if (!key) return std::nullopt;
  return KeyInfo{key->virtualKey, key->name};
}

void KeyState::ProcessEvents() {
  Display* display = display_.Get();
  // Xlib may have read events already while waiting for a reply, so the
  // socket alone does not tell whether any are waiting.
  while (::XPending(display) > 0) {
    XEvent event;
    ::XNextEvent(display, &event);
    if (event.type == GenericEvent && event.xcookie.extension == xinputOpcode_) {
      if (::XGetEventData(display, &event.xcookie)) {
        const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
        const int type = event.xcookie.evtype;
        if (onKey_ && (type == XI_RawKeyPress || type == XI_RawKeyRelease) &&
            (raw->flags & XIKeyRepeat) == 0) {
          onKey_(static_cast<Keycode>(raw->detail), type == XI_RawKeyPress);
        }
        ::XFreeEventData(display, &event.xcookie);
      }
    } else if (event.type == MappingNotify) {
      ::XRefreshKeyboardMapping(&event.xmapping);
      stale_ = true;
    } else if (xkbEventBase_ >= 0 && event.type == xkbEventBase_) {
      auto* xkb = reinterpret_cast<XkbEvent*>(&event);
      if (xkb->any.xkb_type == XkbMapNotify) ::XkbRefreshKeyboardMapping(&xkb->map);
      if (xkb->any.xkb_type == XkbMapNotify || xkb->any.xkb_type == XkbNewKeyboardNotify) {
        stale_ = true;
      }
    }
  }
}

}  // namespace snapwick::x11
