#pragma once
// Names of the screenshot files: separator, "dd.mm.yyyy_hh.mm.ss_N.jpg".

#include <cstdint>
#include <string>

#include "platform/system.h"

namespace snapwick {

class Platform;
struct AppState;

struct ShotName {
  LocalDateTime time;
  std::string text;  // with its leading separator
};

std::string FormatShotName(const LocalDateTime& t, std::int32_t counter, char separator);

// Raises the run's shot counter and names the next shot from the local
// clock, read once.
ShotName MakeShotName(Platform& p, AppState& s);
// For a name that something else holds already: the next counter value at
// the same time. False when the counter has no next value.
bool NextShotName(Platform& p, AppState& s, ShotName& name);

}  // namespace snapwick
