#!/usr/bin/env bash
# Shots and keys on a headless sway at 1920x1080 and 3840x2160: the bare
# probe (screencopy + TurboJPEG + write) beside grim as whole processes,
# the Wayland layer's grab, and the time from a key's event to the layer's
# report of it. Prints figures; not a test. Run as root (sway runs as an
# ordinary user that the run makes, as in tests/e2e_wayland).
#
#   bench/run-wayland.sh [--rounds N] [--sizes "WxH ..."]
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in sway swaybg grim cjpeg runuser; do
  command -v "$tool" >/dev/null || { echo "run-wayland.sh: $tool is missing (tools/deps.sh)" >&2; exit 1; }
done
if [[ ! -f build/linux-app/CMakeCache.txt ]]; then
  cmake --preset linux-app >/dev/null
fi
cmake --build --preset linux-app --target snapwick_wayland_client snapwick_bench_wayland_probe \
  snapwick_bench_wayland_keys snapwick_bench_desktop_ppm >/dev/null
exec /usr/bin/python3 bench/wayland_bench.py build/linux-app "$@"
