#include "capture/shot_name.h"

#include <cstdio>
#include <limits>

#include "app/app_state.h"
#include "platform/platform.h"

namespace snapwick {
namespace {

void NextCount(AppState& s) {
  if (s.ShotCount < std::numeric_limits<std::int32_t>::max()) ++s.ShotCount;
}

}  // namespace

std::string FormatShotName(const LocalDateTime& t, std::int32_t counter) {
  char name[96];
  std::snprintf(name, sizeof name, "\\%02d.%02d.%d_%02d.%02d.%02d_%d.jpg", t.day, t.month, t.year,
                t.hour, t.minute, t.second, static_cast<int>(counter));
  return name;
}

std::string MakeShotName(Platform& p, AppState& s) {
  NextCount(s);
  const LocalDateTime now = p.LocalNow().value_or(LocalDateTime{});
  std::string name = FormatShotName(now, s.ShotCount);
  while (p.FileExists(s.PicFolder + name) &&
         s.ShotCount < std::numeric_limits<std::int32_t>::max()) {
    NextCount(s);
    name = FormatShotName(now, s.ShotCount);
  }
  return name;
}

}  // namespace snapwick
