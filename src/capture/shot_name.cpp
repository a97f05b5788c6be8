#include "capture/shot_name.h"

#include <cstdio>
#include <limits>

#include "platform/platform.h"
#include "state/app_state.h"

namespace snapwick {
namespace {

constexpr std::int32_t kLastCount = std::numeric_limits<std::int32_t>::max();

}  // namespace

std::string FormatShotName(const LocalDateTime& t, std::int32_t counter, char separator) {
  char name[96];
  std::snprintf(name, sizeof name, "%c%02d.%02d.%d_%02d.%02d.%02d_%d.jpg", separator, t.day,
                t.month, t.year, t.hour, t.minute, t.second, static_cast<int>(counter));
  return name;
}

ShotName MakeShotName(Platform& p, AppState& s) {
  if (s.shotCount < kLastCount) ++s.shotCount;
  const LocalDateTime now = p.LocalNow().value_or(LocalDateTime{});
  return {now, FormatShotName(now, s.shotCount, p.PathSeparator())};
}

bool NextShotName(Platform& p, AppState& s, ShotName& name) {
  if (s.shotCount >= kLastCount) return false;
  ++s.shotCount;
  name.text = FormatShotName(name.time, s.shotCount, p.PathSeparator());
  return true;
}

}  // namespace snapwick
