#pragma once
// The picture an output shows, from a copy of its buffer. Both copy
// protocols hand over an output's pixels as its buffer holds them: an
// output turned a quarter, upside down or mirrored (wl_output's transform)
// comes sideways, upside down or mirrored, not as the user sees it.

#include <cstdint>
#include <vector>

#include "platform/screen.h"

namespace snapwick::wayland {

// The output's picture upright: `buffer` itself when the output is not
// turned, else its pixels turned into `upright`, which the caller keeps
// from shot to shot. `transform` is a wl_output_transform (0 to 7; other
// values are taken as 0): the turn and mirror the compositor applies to
// the buffer to show it.
Frame Upright(const Frame& buffer, std::uint32_t transform, std::vector<std::uint8_t>& upright);

}  // namespace snapwick::wayland
