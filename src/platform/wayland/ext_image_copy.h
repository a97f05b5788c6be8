#pragma once
// Copies of an output through ext-image-copy-capture-v1 with an output
// capture source (ext-image-capture-source-v1), the protocol of sway 1.11
// on, labwc, Wayfire, river, niri, Hyprland and COSMIC, into the
// connection's kept buffer.

#include <cstdint>

#include "platform/wayland/capture_connection.h"

struct ext_image_capture_source_v1;

namespace snapwick::wayland {

class ExtImageCopy {
 public:
  explicit ExtImageCopy(CaptureConnection& connection) : connection_(connection) {}
  ~ExtImageCopy() { DropSource(); }
  ExtImageCopy(const ExtImageCopy&) = delete;
  ExtImageCopy& operator=(const ExtImageCopy&) = delete;

  // One copy of the output. transform: the wl_output transform the
  // compositor names for the copied pixels (0: upright).
  CopyResult Copy(OutputEntry& output, std::uint32_t& transform);

 private:
  void DropSource();

  CaptureConnection& connection_;
  // The output's capture source, kept while the same output is copied.
  ext_image_capture_source_v1* source_ = nullptr;
  std::uint32_t sourceOutput_ = 0;
};

}  // namespace snapwick::wayland
