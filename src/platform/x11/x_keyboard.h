#pragma once
// The keyboard as the X server sees it: the keys down at this moment
// whatever window has the focus, every key that goes down or up anywhere
// (XInput 2.1's raw events), and what a key is called (the settings
// panel's capture). All of it reads the server's current keymap, made
// anew after every change of the keyboard's mapping.

#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "platform/linux/keymap.h"
#include "platform/linux/session_parts.h"
#include "platform/x11/key_edges.h"
#include "platform/x11/x_display.h"

namespace snapwick::x11 {

class XKeyboard {
 public:
  // Listens to the display's events for changes of the mapping.
  explicit XKeyboard(XDisplay& display);
  ~XKeyboard();
  XKeyboard(const XKeyboard&) = delete;
  XKeyboard& operator=(const XKeyboard&) = delete;

  // The keys whose being down makes `virtualKey` down, with Num Lock as it
  // is now where it matters; empty for a key that no keycode makes. Valid
  // until the next call.
  std::span<const Keycode> KeycodesOf(int virtualKey);
  // Whether KeycodesOf(virtualKey) changes with Num Lock.
  bool FollowsNumLock(int virtualKey);
  // Whether the mapping changed since the last KeycodesOf.
  bool MappingChanged() const { return changed_; }
  // The keys the server has down now (one round trip).
  KeySet DownNow();
  // Has `onKey` called, from the display's ReadEvents, for every key that
  // goes down or up anywhere, whatever window has the focus or grabs it;
  // never grabs a key, so the focused application still receives it.
  // False when the server cannot report that (no XInput 2.1).
  using OnKey = std::function<void(Keycode code, bool down, bool repeat)>;
  bool WatchKeys(OnKey onKey);
  // The key of an X key event: its keycode and the state the event
  // carries (the active layout names the key, Num Lock decides the
  // keypad's keys).
  std::optional<KeyDescription> Describe(Keycode code, unsigned eventState);

 private:
  struct Keymap;
  Keymap* CurrentKeymap();
  bool NumLockOn(const Keymap& keymap);
  void OnEvent(_XEvent& event);

  XDisplay& display_;
  int xkbEventBase_ = -1;
  int xinputOpcode_ = -1;
  OnKey onKey_;
  bool stale_ = true;
  bool changed_ = false;
  std::unique_ptr<Keymap> keymap_;
};

// The settings panel's keys named by the X server's keymap.
class XSessionKeymap final : public linux::SessionKeymap {
 public:
  XSessionKeymap(std::shared_ptr<XDisplay> display, std::shared_ptr<XKeyboard> keyboard)
      : display_(std::move(display)), keyboard_(std::move(keyboard)) {}

  // The X server has one keymap for every keyboard: Qt's keysym adds
  // nothing.
  std::optional<KeyDescription> Describe(std::uint32_t nativeScanCode,
                                         std::uint32_t nativeModifiers,
                                         std::uint32_t keysym) override;
  bool RepeatedRelease(std::uint32_t nativeScanCode) override;

 private:
  // The keyboard's connection, kept as long as the keyboard.
  std::shared_ptr<XDisplay> display_;
  std::shared_ptr<XKeyboard> keyboard_;
};

}  // namespace snapwick::x11
