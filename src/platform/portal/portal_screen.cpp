#include "platform/portal/portal_screen.h"

#include <unistd.h>

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
                     OnStarted(::dup(remote.fileDescriptor()), stream.node);
                   });
  QObject::connect(&cast_, &ScreenCastSession::StartFailed, &context_,
                   [this](ResponseOutcome) { GiveUpCast(); });
  // The user stopped sharing: the program does not ask again behind their
  // back, and takes single pictures from now on.
  QObject::connect(&cast_, &ScreenCastSession::Ended, &context_, [this] { GiveUpCast(); });
  castRefused_ = !options_.screenCast;
}

void PortalScreenSource::SetWanted(bool wanted) {
  if (wanted == wanted_) return;
  wanted_ = wanted;
  if (!wanted) {
    stream_.reset();
    cast_.Close();
    return;
  }
  if (!castRefused_) cast_.Start(LoadRestoreToken(options_.tokenFile));
}

PortalScreenSource::~PortalScreenSource() {
  stream_.reset();
  cast_.Close();
}

void PortalScreenSource::OnStarted(int remoteFd, std::uint32_t node) {
  streamStartedAt_ = std::chrono::steady_clock::now();
  stream_ = std::make_unique<PipeWireStream>();
  if (remoteFd < 0 || !stream_->Connect(remoteFd, node)) {
    stream_.reset();
    GiveUpCast();
  }
}

void PortalScreenSource::GiveUpCast() {
  castRefused_ = true;
  cast_.Close();
  // A frame handed out before stays valid: grabs come only from the
  // program's own calls, never while this runs.
  stream_.reset();
}

std::optional<Frame> PortalScreenSource::GrabFrame() {
  lastWay_ = ScreenWay::None;
  if (stream_ && !stream_->Ended()) {
    using std::chrono::milliseconds;
    milliseconds wait{0};
    if (stream_->FramesReceived() == 0) {
      const auto since = std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() -
                                                                  streamStartedAt_);
      wait = std::max(milliseconds{0}, options_.firstFrame - since);
    }
    if (auto frame = stream_->Grab(wait)) {
      lastWay_ = ScreenWay::ScreenCast;
      return frame;
    }
  }
  // Only over a connection the portal has taken (shots come only once the
  // key is bound, which needs the same).
  if (!options_.screenshot || !connection_->Usable()) return std::nullopt;
  if (!screenshot_) screenshot_ = std::make_unique<ScreenshotPortal>(connection_->Bus());
  auto frame = screenshot_->Grab(options_.screenshotTimeout);
  if (frame) lastWay_ = ScreenWay::Screenshot;
  return frame;
}

}  // namespace snapwick::portal
