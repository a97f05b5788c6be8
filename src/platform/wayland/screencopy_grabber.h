#pragma once
// The screen on wlroots compositors (sway and its kin) and the others that
// offer a copy protocol (COSMIC), on a Wayland connection of its own: Qt's
// connection and event loop are never touched, so a grab delivers none of
// the program's other events in the middle of a shot. ext-image-copy-capture
// is taken where the compositor offers it, wlr-screencopy (deprecated, and
// absent from COSMIC) where it offers only that: sway 1.10 and older.
//
// wlroots knows no primary output: the one copied is the output whose top
// left corner is at 0,0 of the desktop (where sway puts the first one),
// else the first one the compositor announced. Outputs that come and go
// while the program runs are followed, and a new mode is copied at its new
// size by the next grab.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/screen.h"

namespace snapwick::wayland {

enum class CopyProtocol : std::uint8_t { ExtImageCopyCapture, WlrScreencopy };

// "ext-image-copy-capture-v1", "wlr-screencopy-unstable-v1"
const char* ProtocolName(CopyProtocol protocol);
// wlr-screencopy where SNAPWICK_COPY_PROTOCOL names it, else
// ext-image-copy-capture: the benchmark and the tests compare the two on a
// compositor that offers both; a user has no reason to.
CopyProtocol PreferredCopyProtocol();

class ScreencopyGrabber {
 public:
  // Connects to the compositor that display names (a WAYLAND_DISPLAY
  // value; nullptr: WAYLAND_DISPLAY's). Nothing when there is none, or it
  // offers neither copy protocol or no shared memory. `preferred` is taken
  // where the compositor offers both (the tests and the benchmark compare
  // them), the other one where it offers only that. A grab waits at most
  // `timeout` for the compositor.
  static std::unique_ptr<ScreencopyGrabber> Connect(
      const char* display = nullptr,
      std::chrono::milliseconds timeout = std::chrono::milliseconds(500),
      CopyProtocol preferred = PreferredCopyProtocol());
  ~ScreencopyGrabber();
  ScreencopyGrabber(const ScreencopyGrabber&) = delete;
  ScreencopyGrabber& operator=(const ScreencopyGrabber&) = delete;

  // Copies the output into the kept shared-memory buffer (made anew only
  // when the size or format changes) and blocks on this connection until
  // the compositor has filled it. Nothing when there is no output, the
  // copy failed or took too long, the compositor offers a pixel format of
  // other than 8 bits a channel, or the connection is gone.
  std::optional<Frame> Grab();

  struct Output {
    std::string name;  // "HEADLESS-1", "DP-2"; empty until the compositor tells
    int x = 0;         // the top left corner on the desktop, as xdg-output gives it
    int y = 0;
  };
  // The outputs as last heard of, in the order announced.
  std::vector<Output> Outputs();
  // The name of the output the next grab copies; empty when there is none.
  std::string ChosenOutput();
  // The protocol the grabs go through.
  CopyProtocol Protocol() const;

 private:
  struct State;
  explicit ScreencopyGrabber(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace snapwick::wayland
