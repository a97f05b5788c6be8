#pragma once
// The screen as the Linux platform grabs it on a desktop without a screen
// copy of its compositor's own: a ScreenCast stream kept open while shots
// can come, and where the desktop refuses it, ends it, or it carries no
// frame in time, the Screenshot portal as the last resort. The stream stays
// open because a shot wants the screen as it is at the press: a stream
// started at the press gives its first frame too late. A grab copies the
// stream's newest frame; frames no shot wants are never copied.
//
// Nothing here waits on the program's thread: where no frame is at hand
// yet, a grab is Pending and its frame (or nothing) comes later through the
// grabbed handler, from the event loop; one grab at a time.
//
// The screen cast is asked for only once shots can come (SetWanted), so a
// program that holds no key shows no chooser; the restore token, kept in a
// file beside set.ini, spares later runs the chooser.

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/linux/session_parts.h"
#include "platform/portal/pipewire_stream.h"
#include "platform/portal/screen_cast.h"
#include "platform/portal/screenshot_portal.h"

namespace snapwick::portal {

// Where the last frame came from.
enum class FrameOrigin : std::uint8_t { None, ScreenCast, Screenshot };

class PortalScreenSource final : public linux::ScreenSource {
 public:
  struct Options {
    // Start a ScreenCast session at once; without it (or once the desktop
    // has refused it) every grab is a Screenshot.
    bool screenCast = true;
    // May the Screenshot portal be asked when the stream gives no frame.
    bool screenshot = true;
    // The file that keeps the restore token between runs.
    QString tokenFile;
    // How long a grab waits for a stream's first frame, counted from the
    // stream's start: a desktop that has sent none by then sends none
    // (headless KDE negotiates the stream and never fills a buffer). A
    // stream whose pictures were dropped (a new format) gets as long again
    // from the grab.
    std::chrono::milliseconds firstFrame{500};
    // How long a grab waits for the Screenshot portal's picture (its file
    // is removed whenever it comes).
    std::chrono::milliseconds screenshotTimeout{3000};
  };

  // Asks nothing of the desktop until SetWanted; the screen cast and the
  // Screenshot portal both go over `connection`.
  PortalScreenSource(std::shared_ptr<PortalConnection> connection, Options options);
  // Closes the screen-cast session: the desktop's indicator goes.
  ~PortalScreenSource() override;

  void SetGrabbedHandler(GrabbedHandler onGrabbed) override { onGrabbed_ = std::move(onGrabbed); }
  // The stream's newest frame, copied at once (Ready). Pending where the
  // stream has none at hand yet, until it comes; and where there is no
  // stream, or it ended or sent nothing in time, until the Screenshot
  // portal answers. Failed while an earlier grab is pending.
  ScreenGrab Grab() override;
  // Starts the screen cast the first time shots can come; closes it when
  // they no longer can, and starts it again when they can once more
  // (unless the user declined it or stopped it).
  void SetWanted(bool wanted) override;

  FrameOrigin LastFrameOrigin() const { return lastFrameOrigin_; }
  // The screen-cast session, for the test programs that end it under a
  // running stream as a user who stops sharing would.
  ScreenCastSession& Cast() { return cast_; }
  // The stream, while one runs (for the figures of the test programs).
  const PipeWireStream* Stream() const { return stream_.get(); }
  bool CastRefused() const { return castRefused_; }

 private:
  enum class Waiting : std::uint8_t {
    Nothing,
    StreamFrame,  // for a picture of the stream
    Screenshot,   // for the Screenshot portal's answer
    Told,         // for nothing to be told, from the event loop
  };

  ScreenGrab AskScreenshot();
  std::chrono::milliseconds FrameWait() const;
  void OnStarted(int remoteFd, std::uint32_t node);
  void OnFrameCame();
  // The stream gives no frame for the grab waiting on it: the Screenshot
  // portal is asked instead.
  void StopWaitingForStream();
  void Deliver(std::optional<Frame> frame);
  void GiveUpCast();

  Options options_;
  std::shared_ptr<PortalConnection> connection_;
  ScreenCastSession cast_;
  QObject context_;
  QTimer frameDue_;
  GrabbedHandler onGrabbed_;
  std::unique_ptr<PipeWireStream> stream_;
  std::unique_ptr<ScreenshotPortal> screenshot_;
  Waiting waiting_ = Waiting::Nothing;
  bool castRefused_ = false;
  bool wanted_ = false;
  FrameOrigin lastFrameOrigin_ = FrameOrigin::None;
  std::chrono::steady_clock::time_point streamStartedAt_;
};

}  // namespace snapwick::portal
