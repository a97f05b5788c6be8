#include "capture/shot_name.h"

#include <cstdio>
#include <limits>

#include "platform/platform.h"
#include "state/app_state.h"

namespace snapwick {
namespace {

constexpr std::int32_t kLastCount = std::numeric_limits<std::int32_t>::max();

void NextCount(AppState& s) {
  if (s.shotCount < kLastCount) ++s.shotCount;
}

}  // namespace

std::string FormatShotName(const LocalDateTime& t, std::int32_t counter, char separator) {
  char name[96];
  std::snprintf(name, sizeof name, "%c%02d.%02d.%d_%02d.%02d.%02d_%d.jpg", separator, t.day,
                t.month, t.year, t.hour, t.minute, t.second, static_cast<int>(counter));
  return name;
}

std::string MakeShotName(Platform& p, AppState& s) {
  const char separator = p.PathSeparator();
  NextCount(s);
  const LocalDateTime now = p.LocalNow().value_or(LocalDateTime{});
  std::string name = FormatShotName(now, s.shotCount, separator);
  while (p.Exists(s.picFolder + name) && s.shotCount < kLastCount) {
    NextCount(s);
    name = FormatShotName(now, s.shotCount, separator);
  }
  return name;
}

}  // namespace snapwick
