// The shot's compression alone, one strip against two strips at once
// (both in src/jpeg, which both builds share), interleaved on the
// benchmark's desktop picture, so that the machine's load falls on both.
//
//   snapwick_bench_strips WIDTH HEIGHT ROUNDS QUALITY

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "desktop_picture.h"
#include "jpeg/jpeg_encoder.h"
#include "jpeg/strip_encoder.h"

namespace {

using Clock = std::chrono::steady_clock;

void Print(const char* name, std::vector<double> ms, std::size_t bytes) {
  std::sort(ms.begin(), ms.end());
  std::printf("  %-30s %8.2f %8.2f %8.2f   %zu bytes\n", name, ms.front(), ms[ms.size() / 2],
              ms.back(), bytes);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s WIDTH HEIGHT ROUNDS QUALITY\n", argv[0]);
    return 2;
  }
  const int width = std::atoi(argv[1]), height = std::atoi(argv[2]);
  const int rounds = std::max(1, std::atoi(argv[3])), quality = std::atoi(argv[4]);
  const auto bgrx = DesktopPicture(width, height);
  const snapwick::jpeg::Pixels pixels{bgrx.data(), width, height, width * 4};
  snapwick::jpeg::JpegEncoder one;
  const auto started = snapwick::jpeg::StripEncoder::Start();
  if (!started) return 1;
  snapwick::jpeg::StripEncoder& strips = *started;
  std::vector<double> oneMs, stripMs;
  std::size_t stripBytes = 0;
  for (int i = 0; i < rounds; ++i) {
    const auto a = Clock::now();
    if (one.Encode(pixels, quality) != snapwick::jpeg::Encoded::Ok) return 1;
    const auto b = Clock::now();
    if (strips.Encode(pixels, quality) != snapwick::jpeg::Encoded::Ok) return 1;
    const auto c = Clock::now();
    oneMs.push_back(std::chrono::duration<double, std::milli>(b - a).count());
    stripMs.push_back(std::chrono::duration<double, std::milli>(c - b).count());
  }
  for (const auto part : strips.Parts()) stripBytes += part.size();
  std::printf("compression alone, %dx%d desktop picture, q%d, %d rounds interleaved, ms:\n", width,
              height, quality, rounds);
  std::printf("  %-30s %8s %8s %8s\n", "", "min", "median", "max");
  Print("one strip (TurboJPEG)", oneMs, one.Bytes().size());
  Print("two strips on two threads", stripMs, stripBytes);
  std::sort(oneMs.begin(), oneMs.end());
  std::sort(stripMs.begin(), stripMs.end());
  std::printf("  two strips / one strip (medians): %.2f\n",
              stripMs[stripMs.size() / 2] / oneMs[oneMs.size() / 2]);
  return 0;
}
