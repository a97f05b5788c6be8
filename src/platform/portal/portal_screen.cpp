#include "platform/portal/portal_screen.h"

#include <fcntl.h>

#include <algorithm>

#include "platform/portal/restore_token.h"

namespace snapwick::portal {

PortalScreenSource::PortalScreenSource(std::shared_ptr<PortalConnection> connection,
                                       Options options)
    : options_(std::move(options)), connection_(std::move(connection)), cast_(connection_) {
  QObject::connect(&cast_, &ScreenCastSession::RestoreTokenIssued, &context_,
                   [this](const QString& token) {
                     // Quiet when it cannot be kept: the chooser comes back
                     // once next run, nothing worse.
                     (void)SaveRestoreToken(options_.tokenFile, token);
                   });
  QObject::connect(&cast_, &ScreenCastSession::Started, &context_,
                   [this](const QDBusUnixFileDescriptor& remote, const CastStream& stream) {
                     // A descriptor of our own, closed across exec: a
                     // program started from ours (the browser the
                     // publisher's link opens) must not hold a connection
                     // that may watch the screen.
                     OnStarted(::fcntl(remote.fileDescriptor(), F_DUPFD_CLOEXEC, 0), stream.node);
                   });
  QObject::connect(&cast_, &ScreenCastSession::StartFailed, &context_,
                   [this](ResponseOutcome) { GiveUpCast(); });
  // The user stopped sharing: the program does not ask again behind their
  // back, and takes single pictures from now on.
  QObject::connect(&cast_, &ScreenCastSession::Ended, &context_, [this] { GiveUpCast(); });
  frameDue_.setSingleShot(true);
  QObject::connect(&frameDue_, &QTimer::timeout, &context_, [this] { StopWaitingForStream(); });
  castRefused_ = !options_.screenCast;
}

PortalScreenSource::~PortalScreenSource() {
  onGrabbed_ = nullptr;
  stream_.reset();
  cast_.Close();
}

void PortalScreenSource::SetWanted(bool wanted) {
  if (wanted == wanted_) return;
  wanted_ = wanted;
  if (!wanted) {
    if (waiting_ == Waiting::StreamFrame) {
      // Shots cannot come any more: the grab waiting on the stream gets
      // nothing, told from the event loop, and no Screenshot is asked.
      frameDue_.stop();
      waiting_ = Waiting::Told;
      QMetaObject::invokeMethod(
          &context_, [this] { Deliver(std::nullopt); }, Qt::QueuedConnection);
    }
    stream_.reset();
    cast_.Close();
    return;
  }
  if (!castRefused_) cast_.Start(LoadRestoreToken(options_.tokenFile));
}

void PortalScreenSource::OnStarted(int remoteFd, std::uint32_t node) {
  streamStartedAt_ = std::chrono::steady_clock::now();
  stream_ = std::make_unique<PipeWireStream>();
  // From the stream's thread to the event loop; what comes after the
  // stream was replaced or closed finds no grab waiting on it.
  stream_->OnFrameAwaited([this] {
    QMetaObject::invokeMethod(
        &context_, [this] { OnFrameCame(); }, Qt::QueuedConnection);
  });
  stream_->OnEnded([this] {
    QMetaObject::invokeMethod(
        &context_,
        [this] {
          if (waiting_ == Waiting::StreamFrame) StopWaitingForStream();
        },
        Qt::QueuedConnection);
  });
  if (remoteFd < 0 || !stream_->Connect(remoteFd, node)) {
    stream_.reset();
    GiveUpCast();
  }
}

void PortalScreenSource::GiveUpCast() {
  castRefused_ = true;
  cast_.Close();
  // A frame handed out before stays valid: it is the store's copy, and
  // grabs come only from the program's own calls, never while this runs.
  stream_.reset();
  if (waiting_ == Waiting::StreamFrame) StopWaitingForStream();
}

std::chrono::milliseconds PortalScreenSource::FrameWait() const {
  if (stream_->FramesReceived() > 0) return options_.firstFrame;
  const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - streamStartedAt_);
  return std::max(std::chrono::milliseconds{0}, options_.firstFrame - since);
}

ScreenGrab PortalScreenSource::Grab() {
  // One grab at a time: the pending one's frame is still to be told.
  if (waiting_ != Waiting::Nothing) return {};
  lastFrameOrigin_ = FrameOrigin::None;
  if (stream_ && !stream_->Ended()) {
    if (auto frame = stream_->Grab()) {
      lastFrameOrigin_ = FrameOrigin::ScreenCast;
      return GrabbedNow(frame);
    }
    // The grab above asked the stream to tell of its next picture.
    const auto wait = FrameWait();
    if (wait.count() > 0) {
      waiting_ = Waiting::StreamFrame;
      frameDue_.start(wait);
      return {ScreenGrab::State::Pending, {}};
    }
  }
  return AskScreenshot();
}

ScreenGrab PortalScreenSource::AskScreenshot() {
  // Only over a connection the portal has taken (shots come only once the
  // key is bound, which needs the same).
  if (!options_.screenshot || !connection_->Usable()) return {};
  if (!screenshot_) {
    screenshot_ = std::make_unique<ScreenshotPortal>(
        [this](std::optional<Frame> frame) {
          if (waiting_ != Waiting::Screenshot) return;
          if (frame) lastFrameOrigin_ = FrameOrigin::Screenshot;
          Deliver(frame);
        },
        connection_->Bus());
  }
  // Refused while an earlier request is still in flight (one given up on
  // after its time): the desktop is never asked twice at once.
  if (!screenshot_->Ask(options_.screenshotTimeout)) return {};
  waiting_ = Waiting::Screenshot;
  return {ScreenGrab::State::Pending, {}};
}

void PortalScreenSource::OnFrameCame() {
  if (waiting_ != Waiting::StreamFrame || !stream_) return;
  // Nothing yet (its memory withdrawn meanwhile): the stream tells again.
  if (auto frame = stream_->Grab()) {
    lastFrameOrigin_ = FrameOrigin::ScreenCast;
    Deliver(frame);
  }
}

void PortalScreenSource::StopWaitingForStream() {
  if (waiting_ != Waiting::StreamFrame) return;
  frameDue_.stop();
  waiting_ = Waiting::Nothing;
  if (AskScreenshot().state != ScreenGrab::State::Pending) Deliver(std::nullopt);
}

void PortalScreenSource::Deliver(std::optional<Frame> frame) {
  frameDue_.stop();
  waiting_ = Waiting::Nothing;
  if (onGrabbed_) onGrabbed_(frame);
}

}  // namespace snapwick::portal
