#include "bench_stats.h"

#include <algorithm>

#include "platform/win32/windows_inc.h"

namespace snapwick::bench {
namespace {

std::int64_t Ticks() {
  LARGE_INTEGER now{};
  ::QueryPerformanceCounter(&now);
  return now.QuadPart;
}

double TicksPerMs() {
  static const double kPerMs = [] {
    LARGE_INTEGER f{};
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart) / 1000.0;
  }();
  return kPerMs;
}

}  // namespace

Stopwatch::Stopwatch() : start_(Ticks()) {}

double Stopwatch::ElapsedMs() const { return static_cast<double>(Ticks() - start_) / TicksPerMs(); }

Summary Summarize(std::vector<double> ms) {
  Summary s;
  s.count = ms.size();
  if (ms.empty()) return s;
  std::sort(ms.begin(), ms.end());
  s.min = ms.front();
  s.max = ms.back();
  const std::size_t mid = ms.size() / 2;
  s.median = ms.size() % 2 != 0 ? ms[mid] : (ms[mid - 1] + ms[mid]) / 2.0;
  return s;
}

}  // namespace snapwick::bench
