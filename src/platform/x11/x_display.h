#pragma once
// The program's own connection to the X server, for the screen copy and
// the key state. Qt keeps its connection for the widgets; Xlib's errors on
// this one are collected here instead of ending the process.

#include <memory>

// Xlib's display type; its header stays in the few files that talk to the
// server, because its macros (None, Status, Bool) clash with Qt's names.
struct _XDisplay;

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

 private:
  explicit XDisplay(_XDisplay* display);

  _XDisplay* display_;
  bool xwayland_ = false;
};

// Collects the errors of the requests made while it lives, told from
// those of earlier requests by their sequence numbers, so that setting it
// costs no round trip to the server.
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
