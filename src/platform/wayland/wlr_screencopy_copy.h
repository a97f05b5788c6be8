#pragma once
// One copy of an output through wlr-screencopy-unstable-v1, the protocol of
// the wlroots compositors before ext-image-copy-capture (sway up to 1.10),
// into the connection's kept buffer.

#include "platform/wayland/capture_connection.h"

namespace snapwick::wayland {

// bottomUp: the compositor copied the rows bottom first (y_invert).
CopyResult CopyWithScreencopy(CaptureConnection& connection, OutputEntry& output, bool& bottomUp);

}  // namespace snapwick::wayland
