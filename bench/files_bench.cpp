// What writing a shot costs, by the ways the Linux program can write it:
// unnamed then linked, or under a temporary name then renamed, each with
// and without flushing to the disk first; beside the plain write of a new
// file in place that the program used before. Interleaved, in the folder
// given (the program's pic/ in the benchmark), so that the disk's and the
// machine's load fall on every way alike. Prints figures; not a test.
//
//   snapwick_bench_files FOLDER ROUNDS BYTES

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/linux/files_posix.h"

namespace {

using Clock = std::chrono::steady_clock;
using snapwick::NewFile;
using snapwick::linux::NewFileWay;

// The way of the program before: a new file opened in place and written.
bool WriteInPlace(const std::string& path, std::span<const std::uint8_t> bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return false;
  const bool written = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  return close(fd) == 0 && written;
}

struct Way {
  const char* name;
  NewFileWay way;
  bool flush;
  bool inPlace;
  std::vector<double> ms;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s FOLDER ROUNDS BYTES\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  const int rounds = std::max(1, std::atoi(argv[2]));
  std::vector<std::uint8_t> shot(static_cast<std::size_t>(std::max(4, std::atoi(argv[3]))), 0x5A);
  shot[0] = 0xFF, shot[1] = 0xD8, shot[shot.size() - 2] = 0xFF, shot.back() = 0xD9;
  const std::span<const std::uint8_t> parts[] = {shot};
  Way ways[] = {
      {"in place, as before", NewFileWay::Unnamed, false, true, {}},
      {"unnamed, linked", NewFileWay::Unnamed, false, false, {}},
      {"unnamed, flushed, linked", NewFileWay::Unnamed, true, false, {}},
      {"temporary name, renamed", NewFileWay::NamedTemp, false, false, {}},
      {"temporary name, flushed, renamed", NewFileWay::NamedTemp, true, false, {}},
  };
  int failed = 0;
  for (int round = 0; round < rounds; ++round) {
    for (Way& w : ways) {
      const std::string path = folder + "/files-bench-" + std::to_string(round) + ".jpg";
      const auto start = Clock::now();
      const bool ok = w.inPlace ? WriteInPlace(path, shot)
                                : snapwick::linux::WriteNewFile(path, parts, w.way, w.flush) ==
                                      NewFile::Written;
      const auto end = Clock::now();
      unlink(path.c_str());
      if (!ok) {
        ++failed;
        continue;
      }
      w.ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
  }
  std::printf("writing a %zu-byte shot into %s, %d rounds (min / median / max ms):\n", shot.size(),
              folder.c_str(), rounds);
  for (Way& w : ways) {
    if (w.ms.empty()) continue;
    std::sort(w.ms.begin(), w.ms.end());
    std::printf("  %-34s %8.3f %8.3f %8.3f\n", w.name, w.ms.front(), w.ms[w.ms.size() / 2],
                w.ms.back());
  }
  if (failed) std::printf("  (%d writes failed)\n", failed);
  return failed ? 1 : 0;
}
