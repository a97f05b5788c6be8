#pragma once
// The keyboard as the server sees it: which keys are down at this moment
// whatever window has the focus (the hotkey's poll), and what a key is
// called (the settings panel's capture). Both read the server's current
// keymap, made anew after every change of the keyboard's mapping. It also
// hears of every key that goes down anywhere, where the server can say so.

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/x11/keymap.h"
#include "platform/x11/tick_driver.h"
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

  // Decides with the keys that make `virtualKey` down, after every event
  // sent so far has been read, and a way to ask the server for the whole
  // keyboard; never grabs a key, so the focused application still
  // receives it. False when the key has no keycode.
  using AskServer = std::function<KeySet()>;
  using Decide = std::function<bool(std::span<const Keycode> codes, const AskServer& downNow)>;
  bool IsDown(int virtualKey, const Decide& decide);
  // The keys the server has down now.
  KeySet DownNow();
  // Has `onKey` called, from ProcessEvents, for every key that goes down
  // or up anywhere, whatever window has the focus or grabs it. False when
  // the server cannot report that (no XInput 2.1).
  using OnKey = std::function<void(Keycode keycode, bool down)>;
  bool WatchKeys(OnKey onKey);
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
  int xinputOpcode_ = -1;
  OnKey onKey_;
  bool stale_ = true;
  std::unique_ptr<Keymap> keymap_;
};

}  // namespace snapwick::x11
