// Writes the benchmark's desktop picture as a PPM on stdout, for screens
// that are not an X root window (a Wayland compositor's background).
//
//   snapwick_bench_desktop_ppm WIDTH HEIGHT > picture.ppm

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "desktop_picture.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s WIDTH HEIGHT\n", argv[0]);
    return 2;
  }
  const int width = std::atoi(argv[1]), height = std::atoi(argv[2]);
  if (width < 640 || height < 480) return 2;
  const std::vector<std::uint8_t> bgrx = DesktopPicture(width, height);
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
  for (std::size_t i = 0, j = 0; i < bgrx.size(); i += 4, j += 3) {
    rgb[j] = bgrx[i + 2];
    rgb[j + 1] = bgrx[i + 1];
    rgb[j + 2] = bgrx[i];
  }
  std::printf("P6\n%d %d\n255\n", width, height);
  return std::fwrite(rgb.data(), 1, rgb.size(), stdout) == rgb.size() ? 0 : 1;
}
