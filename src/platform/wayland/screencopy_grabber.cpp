#include "platform/wayland/screencopy_grabber.h"

#include <cstdlib>
#include <string_view>
#include <utility>

#include "platform/wayland/capture_connection.h"
#include "platform/wayland/ext_image_copy.h"
#include "platform/wayland/output_transform.h"
#include "platform/wayland/wlr_screencopy_copy.h"

namespace snapwick::wayland {

const char* ProtocolName(CopyProtocol protocol) {
  return protocol == CopyProtocol::ExtImageCopyCapture ? "ext-image-copy-capture-v1"
                                                       : "wlr-screencopy-unstable-v1";
}

CopyProtocol PreferredCopyProtocol() {
  const char* wanted = std::getenv("SNAPWICK_COPY_PROTOCOL");
  return wanted && std::string_view(wanted) == ProtocolName(CopyProtocol::WlrScreencopy)
             ? CopyProtocol::WlrScreencopy
             : CopyProtocol::ExtImageCopyCapture;
}

struct ScreencopyGrabber::State {
  CaptureConnection connection;
  CopyProtocol protocol = CopyProtocol::ExtImageCopyCapture;
  // Only with ext-image-copy-capture.
  std::unique_ptr<ExtImageCopy> imageCopy;
  // The picture of a turned output, upright; kept from shot to shot.
  std::vector<std::uint8_t> upright;

  CopyResult CopyOutput(OutputEntry& output, bool& bottomUp, std::uint32_t& transform) {
    if (protocol == CopyProtocol::WlrScreencopy) {
      transform = output.transform;
      return CopyWithScreencopy(connection, output, bottomUp);
    }
    bottomUp = false;
    return imageCopy->Copy(output, transform);
  }
};

ScreencopyGrabber::ScreencopyGrabber(std::unique_ptr<State> state) : state_(std::move(state)) {}
ScreencopyGrabber::~ScreencopyGrabber() = default;

std::unique_ptr<ScreencopyGrabber> ScreencopyGrabber::Connect(const char* display,
                                                              std::chrono::milliseconds timeout,
                                                              CopyProtocol preferred) {
  auto state = std::make_unique<State>();
  CaptureConnection& connection = state->connection;
  connection.timeout = timeout;
  if (!connection.Open(display) || !connection.shm) return nullptr;
  const bool ext = connection.imageCopy && connection.outputSources;
  const bool wlr = connection.screencopy != nullptr;
  if (!ext && !wlr) return nullptr;
  const bool takeExt = ext && (preferred == CopyProtocol::ExtImageCopyCapture || !wlr);
  state->protocol = takeExt ? CopyProtocol::ExtImageCopyCapture : CopyProtocol::WlrScreencopy;
  if (takeExt) state->imageCopy = std::make_unique<ExtImageCopy>(connection);
  return std::unique_ptr<ScreencopyGrabber>(new ScreencopyGrabber(std::move(state)));
}

std::optional<Frame> ScreencopyGrabber::Grab() {
  CaptureConnection& connection = state_->connection;
  if (!connection.Alive()) return std::nullopt;
  // Outputs that came or went since the last grab.
  connection.Drain();
  for (int attempt = 0; attempt < 2; ++attempt) {
    OutputEntry* output = connection.Chosen();
    if (!output) return std::nullopt;
    connection.outputsChanged = false;
    bool bottomUp = false;
    std::uint32_t transform = 0;
    const CopyResult result = state_->CopyOutput(*output, bottomUp, transform);
    if (result == CopyResult::Copied) {
      return Upright(connection.BufferFrame(bottomUp), transform, state_->upright);
    }
    // An output unplugged just as it was asked for fails its copy: once
    // more with the outputs there are now. Anything else is not retried.
    if (result == CopyResult::Stuck || !connection.Alive()) return std::nullopt;
    if (!connection.Sync(Clock::now() + connection.timeout) || !connection.outputsChanged) {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

std::vector<ScreencopyGrabber::Output> ScreencopyGrabber::Outputs() {
  state_->connection.Refresh();
  std::vector<Output> outputs;
  for (const auto& entry : state_->connection.outputs) {
    outputs.push_back({entry->name, entry->x, entry->y});
  }
  return outputs;
}

std::string ScreencopyGrabber::ChosenOutput() {
  state_->connection.Refresh();
  const OutputEntry* chosen = state_->connection.Chosen();
  return chosen ? chosen->name : std::string();
}

CopyProtocol ScreencopyGrabber::Protocol() const { return state_->protocol; }

}  // namespace snapwick::wayland
