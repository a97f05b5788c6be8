#pragma once
// The keyboard as the server sees it: which keys are down at this moment
// whatever window has the focus (the hotkey's poll), and what a key is
// called (the settings panel's capture). Both read the server's current
// keymap, made anew after every change of the keyboard's mapping.

#include <memory>
#include <optional>
#include <string>

#include "platform/x11/x_display.h"

namespace snapwick::x11 {

struct KeyInfo {
  int virtualKey = 0;
  std::string name;  // UTF-8
};

class KeyState {
 public:
  explicit KeyState(XDisplay& display);
  ~KeyState();
  KeyState(const KeyState&) = delete;
  KeyState& operator=(const KeyState&) = delete;

  // Asks the server for the whole keyboard; never grabs a key, so the
  // focused application still receives it.
  bool IsDown(int virtualKey);
  // Whether the server has this key down now. X repeats a held key as
  // release and press pairs; the key of a repeated release is still down.
  bool IsKeycodeDown(unsigned keycode);
  // The key of an X key event: its keycode and the state the event carries
  // (the active layout names the key, Num Lock decides the keypad's keys).
  std::optional<KeyInfo> Describe(unsigned keycode, unsigned eventState);
  // Reads what the server has sent on our connection; a new keyboard or
  // mapping makes the keymap stale.
  void ProcessEvents();

 private:
  struct Keymap;
  Keymap* CurrentKeymap();
  bool NumLockOn(const Keymap& keymap);

  XDisplay& display_;
  int xkbEventBase_ = -1;
  bool stale_ = true;
  std::unique_ptr<Keymap> keymap_;
};

}  // namespace snapwick::x11
