#pragma once
// What the platform tells the program, all on the one user-interface
// thread, one event at a time, from its event loop: never from inside a
// call that the program made into the platform.

#include <string_view>

#include <optional>

#include "form/roles.h"
#include "platform/keyboard.h"
#include "platform/screen.h"

namespace snapwick {

// Who asked the window to close. Only the user's own close command on the
// window (the close box, the window menu's Close, Alt+F4) is User.
enum class CloseOrigin : int {
  User = 0,
  Program = 1,       // the program's own close from code
  Session = 2,       // the session ends: shutdown or log-off
  OtherProgram = 3,  // a close sent by another program, such as a task manager
};

// What the user did to the tray icon.
enum class TrayEvent : int {
  PointerMove,
  LeftPress,
  LeftRelease,
  LeftDoubleClick,
  RightPress,
  RightRelease,
  RightDoubleClick,
  MiddlePress,
  MiddleRelease,
  // A tray that reports no single presses or double-clicks, only that the
  // icon was activated (a StatusNotifier host, for a click).
  Activate,
};

class WindowEvents {
 public:
  virtual ~WindowEvents() = default;

  // The window has been made, hidden, with all its controls; it is shown
  // when this returns, unless this closed it.
  virtual void OnStart() = 0;
  // Returns true to cancel the close.
  virtual bool OnCloseRequest(CloseOrigin origin) = 0;
  // What the platform saw of the watched hotkey (KeyboardApi::WatchHotkey).
  virtual void OnHotkey(KeySeen seen) = 0;
  // The compositor's own key binding ran (CompositorKey).
  virtual void OnCompositorKey(CompositorKey /*key*/) {}
  // The key the desktop holds for the program, or none at all (`keyName`
  // empty): a desktop binds the key itself where programs cannot see keys
  // (Wayland's shortcut portal), may hold another than the one asked for,
  // and its user may rebind it. Raised once the desktop has answered a
  // watch it reports (HotkeyWatch::Reported), and whenever the key in force
  // changes from what the program was last told; also by a platform that
  // finds it no longer holds a key it watched. UTF-8, the desktop's own
  // name for the key.
  virtual void OnHotkeyBound(std::string_view /*keyName*/) {}
  // The frame of a grab that was Pending (ScreenApi::GrabScreen); nothing
  // when none could be made. It stays the platform's until the next grab.
  virtual void OnScreenGrabbed(std::optional<Frame> /*frame*/) {}
  // The shot timer's tick, every 50 ms while it runs (TimerApi).
  virtual void OnTick() = 0;
  virtual void OnTrayEvent(TrayEvent event) = 0;
  // The tray came back (the shell restarted) and knows no icon any more.
  virtual void OnTrayRecreated() = 0;
  // A button or the publisher link was clicked.
  virtual void OnClick(ControlId control) = 0;
  virtual void OnMenuItem(MenuItemId item) = 0;
  // The user picked an item of the quality list; the combo already shows it.
  virtual void OnQualityPicked() = 0;
  // The quality combo's text changed: typed, pasted or set by the program.
  virtual void OnQualityEdited() = 0;
  // A key was released while a window of the program had the keyboard
  // focus. `name` is the system's name for the key, UTF-8, empty when it
  // has none. The key goes on to the focused control whatever is done here.
  virtual void OnKeyReleased(int virtualKey, std::string_view name) = 0;
};

}  // namespace snapwick
