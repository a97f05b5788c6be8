#include "platform/x11/x_display.h"

#include <X11/Xlib.h>

namespace snapwick::x11 {
namespace {

// Our connection, and the first of its errors since a trap was set. All
// of it runs on the user-interface thread.
Display* gOwn = nullptr;
int gErrorCode = 0;
int (*gPreviousHandler)(Display*, XErrorEvent*) = nullptr;

int OnXError(Display* display, XErrorEvent* error) {
  // A failed request on our connection is a failed copy or query, never
  // the end of the program (Xlib's default handler calls exit()): a copy
  // of a screen that has just changed size fails with BadMatch.
  if (display == gOwn) {
    if (gErrorCode == 0) gErrorCode = error->error_code;
    return 0;
  }
  return gPreviousHandler ? gPreviousHandler(display, error) : 0;
}

}  // namespace

std::unique_ptr<XDisplay> XDisplay::Open() {
  Display* display = ::XOpenDisplay(nullptr);
  if (!display) return nullptr;
  return std::unique_ptr<XDisplay>(new XDisplay(display));
}

XDisplay::XDisplay(_XDisplay* display) : display_(display) {
  int opcode = 0, event = 0, error = 0;
  xwayland_ = ::XQueryExtension(display_, "XWAYLAND", &opcode, &event, &error) != 0;
  gOwn = display_;
  gPreviousHandler = ::XSetErrorHandler(&OnXError);
}

XDisplay::~XDisplay() {
  ::XSetErrorHandler(gPreviousHandler);
  gOwn = nullptr;
  ::XCloseDisplay(display_);
}

int XDisplay::ConnectionFd() const { return ConnectionNumber(display_); }

XErrorTrap::XErrorTrap(XDisplay& display) : display_(display) {
  // Errors of earlier requests belong to no one here.
  ::XSync(display_.Get(), False);
  gErrorCode = 0;
}

XErrorTrap::~XErrorTrap() { ::XSync(display_.Get(), False); }

bool XErrorTrap::Failed() {
  ::XSync(display_.Get(), False);
  return gErrorCode != 0;
}

}  // namespace snapwick::x11
