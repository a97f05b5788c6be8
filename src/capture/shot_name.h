#pragma once
// Names of the screenshot files: separator, "dd.mm.yyyy_hh.mm.ss_N.jpg".

#include <cstdint>
#include <string>

#include "platform/system.h"

namespace snapwick {

class Platform;
struct AppState;

std::string FormatShotName(const LocalDateTime& t, std::int32_t counter, char separator);

// Raises the run's shot counter and names the next shot from the local
// clock. A name already taken in the shot folder (by a file, a folder, a
// link, anything) is passed over for the next counter value, so no shot
// ever replaces or writes through another.
std::string MakeShotName(Platform& p, AppState& s);

}  // namespace snapwick
