#include "platform/x11/x_keyboard.h"

#include <X11/XKBlib.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon-x11.h>

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

KeySet ToKeySet(const char (&keys)[32]) {
  KeySet set;
  for (unsigned code = 0; code < 256; ++code) {
    if ((static_cast<unsigned char>(keys[code / 8]) >> (code % 8) & 1) != 0) set.set(code);
  }
  return set;
}

}  // namespace

using linux::KeyMap;

struct XKeyboard::Keymap {
  std::unique_ptr<KeyMap> map;
  unsigned numLockMask = 0;
};

XKeyboard::XKeyboard(XDisplay& display) : display_(display) {
  int opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
  if (::XkbQueryExtension(display_.Get(), &opcode, &xkbEventBase_, &error, &major, &minor)) {
    ::XkbSelectEvents(display_.Get(), XkbUseCoreKbd, kSelectedXkbEvents, kSelectedXkbEvents);
  } else {
    xkbEventBase_ = -1;
  }
  display_.Listen(this, [this](XEvent& event) { OnEvent(event); });
}

XKeyboard::~XKeyboard() { display_.Forget(this); }

XKeyboard::Keymap* XKeyboard::CurrentKeymap() {
  // A change of mapping waits among the events until they are read.
  display_.ReadEvents();
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

bool XKeyboard::NumLockOn(const Keymap& keymap) {
  XkbStateRec state{};
  return keymap.numLockMask != 0 &&
         ::XkbGetState(display_.Get(), XkbUseCoreKbd, &state) == Success &&
         (state.mods & keymap.numLockMask) != 0;
}

std::span<const Keycode> XKeyboard::KeycodesOf(int virtualKey) {
  Keymap* keymap = CurrentKeymap();
  changed_ = false;
  if (!keymap) return {};
  // Num Lock is asked for only where it matters: the keypad's keys.
  const bool numLockOn = keymap->map->FollowsNumLock(virtualKey) && NumLockOn(*keymap);
  return keymap->map->KeycodesOf(virtualKey, numLockOn);
}

bool XKeyboard::FollowsNumLock(int virtualKey) {
  Keymap* keymap = CurrentKeymap();
  return keymap && keymap->map->FollowsNumLock(virtualKey);
}

KeySet XKeyboard::DownNow() {
  char keys[32] = {};
  ::XQueryKeymap(display_.Get(), keys);
  return ToKeySet(keys);
}

bool XKeyboard::WatchKeys(OnKey onKey) {
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

std::optional<KeyDescription> XKeyboard::Describe(Keycode code, unsigned eventState) {
  Keymap* keymap = CurrentKeymap();
  if (!keymap) return std::nullopt;
  const bool numLockOn = keymap->numLockMask != 0 && (eventState & keymap->numLockMask) != 0;
  return keymap->map->Describe(code, LayoutOf(eventState), numLockOn);
}

void XKeyboard::OnEvent(XEvent& event) {
  Display* display = display_.Get();
  if (event.type == GenericEvent && event.xcookie.extension == xinputOpcode_) {
    if (::XGetEventData(display, &event.xcookie)) {
      const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
      const int type = event.xcookie.evtype;
      if (onKey_ && (type == XI_RawKeyPress || type == XI_RawKeyRelease)) {
        onKey_(static_cast<Keycode>(raw->detail), type == XI_RawKeyPress,
               (raw->flags & XIKeyRepeat) != 0);
      }
      ::XFreeEventData(display, &event.xcookie);
    }
  } else if (event.type == MappingNotify) {
    ::XRefreshKeyboardMapping(&event.xmapping);
    stale_ = changed_ = true;
  } else if (xkbEventBase_ >= 0 && event.type == xkbEventBase_) {
    auto* xkb = reinterpret_cast<XkbEvent*>(&event);
    if (xkb->any.xkb_type == XkbMapNotify) ::XkbRefreshKeyboardMapping(&xkb->map);
    if (xkb->any.xkb_type == XkbMapNotify || xkb->any.xkb_type == XkbNewKeyboardNotify) {
      stale_ = changed_ = true;
    }
  }
}

std::optional<KeyDescription> XSessionKeymap::Describe(std::uint32_t nativeScanCode,
                                                       std::uint32_t nativeModifiers,
                                                       std::uint32_t /*keysym*/) {
  return keyboard_->Describe(nativeScanCode, nativeModifiers);
}

bool XSessionKeymap::RepeatedRelease(std::uint32_t nativeScanCode) {
  // Qt marks a repeated release only when the press behind it has been
  // read already: after a repeat's release the key is down again.
  return nativeScanCode < 256 && keyboard_->DownNow().test(nativeScanCode);
}

}  // namespace snapwick::x11
