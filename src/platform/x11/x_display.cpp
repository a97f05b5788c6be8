#include "platform/x11/x_display.h"

#include <X11/Xlib.h>

namespace snapwick::x11 {
namespace {

// Our connection, the first request the innermost trap watches, and the
// first error since. All of it runs on the user-interface thread.
Display* gOwn = nullptr;
constexpr unsigned long kNoTrap = ~0UL;
unsigned long gTrapFirst = kNoTrap;
int gErrorCode = 0;
int (*gPreviousHandler)(Display*, XErrorEvent*) = nullptr;

int OnXError(Display* display, XErrorEvent* error) {
  // A failed request on our connection is a failed copy or query, never
  // the end of the program (Xlib's default handler calls exit()): a copy
  // of a screen that has just changed size fails with BadMatch.
  if (display == gOwn) {
    // Sequence numbers wrap at 32 bits on the wire; Xlib widens them.
    if (gTrapFirst != kNoTrap && error->serial >= gTrapFirst && gErrorCode == 0) {
      gErrorCode = error->error_code;
    }
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
}

XDisplay::~XDisplay() {
  if (ownHandler_) ::XSetErrorHandler(gPreviousHandler);
  gOwn = nullptr;
  ::XCloseDisplay(display_);
}

void XDisplay::TakeErrors() {
  if (ownHandler_) return;
  ownHandler_ = true;
  gPreviousHandler = ::XSetErrorHandler(&OnXError);
}

int XDisplay::ConnectionFd() const { return ConnectionNumber(display_); }

void XDisplay::ReadEvents() {
  // Xlib may have read events already while waiting for a reply, so the
  // socket alone does not tell whether any are waiting.
  while (::XPending(display_) > 0) {
    XEvent event;
    ::XNextEvent(display_, &event);
    for (const auto& listener : listeners_) listener.second(event);
  }
}

void XDisplay::Listen(const void* owner, Listener listener) {
  listeners_.emplace_back(owner, std::move(listener));
}

void XDisplay::Forget(const void* owner) {
  std::erase_if(listeners_, [owner](const auto& listener) { return listener.first == owner; });
}

bool XDisplay::EventsQueued() const { return ::XEventsQueued(display_, QueuedAlready) > 0; }

XErrorTrap::XErrorTrap(XDisplay& display)
    : display_(display), previousFirst_(gTrapFirst), previousError_(gErrorCode) {
  gTrapFirst = NextRequest(display_.Get());
  gErrorCode = 0;
}

XErrorTrap::~XErrorTrap() {
  // An enclosing trap also saw what failed inside this one.
  const int inner = gErrorCode;
  gTrapFirst = previousFirst_;
  gErrorCode = previousError_ != 0 ? previousError_ : inner;
}

bool XErrorTrap::Failed() {
  ::XSync(display_.Get(), False);
  return gErrorCode != 0;
}

bool XErrorTrap::FailedSoFar() const { return gErrorCode != 0; }

}  // namespace snapwick::x11
