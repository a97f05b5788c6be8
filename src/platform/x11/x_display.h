#pragma once
// The program's own connection to the X server, for the screen copy, the
// hotkey and the keymap. Qt keeps its connection for the widgets. Xlib's
// errors on this one are collected here instead of ending the process.

#include <functional>
#include <memory>
#include <utility>
#include <vector>

// Xlib's types; its header stays in the few files that talk to the
// server, because its macros (None, Status, Bool) clash with Qt's names.
struct _XDisplay;
union _XEvent;

namespace snapwick::x11 {

class XDisplay {
 public:
  // Nothing when no X server can be reached.
  static std::unique_ptr<XDisplay> Open();
  ~XDisplay();
  XDisplay(const XDisplay&) = delete;
  XDisplay& operator=(const XDisplay&) = delete;

  _XDisplay* Get() const { return display_; }
  // Readable when the server has sent events.
  int ConnectionFd() const;
  // A Wayland session's X server: its root window shows nothing of the
  // Wayland windows, and keys reach X clients only over their windows.
  bool IsXWayland() const { return xwayland_; }

  // Makes the program's own handler the one Xlib calls on errors. Call it
  // once Qt is up: Qt's xcb plugin sets a handler of its own for the whole
  // process when QApplication is made, and a handler set before that
  // would never hear of an error (a refused shared-memory attach among
  // them). Errors on other connections go on to the handler replaced.
  void TakeErrors();

  // Hands every event the server has sent, also those Xlib read while
  // waiting for a reply, to each listener in turn. A listener goes with
  // its owner: Forget(owner) before the owner does.
  using Listener = std::function<void(_XEvent& event)>;
  void Listen(const void* owner, Listener listener);
  void Forget(const void* owner);
  void ReadEvents();
  // Whether Xlib holds events already read off the socket, which the
  // socket no longer shows; asks nothing of the server.
  bool EventsQueued() const;

 private:
  explicit XDisplay(_XDisplay* display);

  _XDisplay* display_;
  bool xwayland_ = false;
  bool ownHandler_ = false;
  std::vector<std::pair<const void*, Listener>> listeners_;
};

// Collects the errors of the requests made while it lives, told from
// those of earlier requests by their sequence numbers, so that setting it
// costs no round trip to the server. Needs XDisplay::TakeErrors.
class XErrorTrap {
 public:
  explicit XErrorTrap(XDisplay& display);
  ~XErrorTrap();
  XErrorTrap(const XErrorTrap&) = delete;
  XErrorTrap& operator=(const XErrorTrap&) = delete;

  // Waits for the server to have handled every request so far; true when
  // one of them failed.
  bool Failed();
  // Whether one failed, without waiting: enough after a request that has
  // a reply, since the server answers in order.
  bool FailedSoFar() const;

 private:
  XDisplay& display_;
  unsigned long previousFirst_;
  int previousError_;
};

}  // namespace snapwick::x11
