#pragma once
// Timing with the performance counter, and the summary of a series of
// timings.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace snapwick::bench {

// Milliseconds since construction, from QueryPerformanceCounter.
class Stopwatch {
 public:
  Stopwatch();
  double ElapsedMs() const;

 private:
  std::int64_t start_;
};

struct Summary {
  std::size_t count = 0;
  double min = 0;
  double median = 0;
  double max = 0;
};

// The median of an even count is the mean of the two middle values.
Summary Summarize(std::vector<double> ms);

}  // namespace snapwick::bench
