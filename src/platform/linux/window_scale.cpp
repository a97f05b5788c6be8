#include "platform/linux/window_scale.h"

#include <QScreen>
#include <algorithm>
#include <cmath>

namespace snapwick::linux {

int LayoutDpi(double logicalDpi) {
  // A smaller DPI would make the window smaller than the Windows build's
  // at 100 % and cut its texts.
  if (!(logicalDpi >= kBaseDpi)) return kBaseDpi;
  return static_cast<int>(std::lround(std::min(logicalDpi, static_cast<double>(kLargestDpi))));
}

int LayoutDpiOf(const QScreen* screen) {
  return screen ? LayoutDpi(screen->logicalDotsPerInchY()) : kBaseDpi;
}

}  // namespace snapwick::linux
