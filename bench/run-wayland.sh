#!/usr/bin/env bash
# Shots and keys on a headless sway at 1920x1080 and 3840x2160: Snapwick
# itself (dist/snapwick-linux, from a key on a virtual keyboard to the
# shot's file) beside the bare probe (screencopy + TurboJPEG + write) and
# grim as whole processes, the Wayland layer's grab, the time from a key's
# event to the layer's report of it, the program's key held and its CPU at
# rest. Prints figures; not a test. Run as root (sway runs as an ordinary
# user that the run makes, as in tests/e2e_wayland). With --forky the sways
# are forky's sway 1.12 in the cached chroot of tools/chroots.sh (made with
# `bash tools/chroots.sh make forky`), started as tests/e2e_desktops does:
# the program through ext-image-copy-capture beside wlr-screencopy.
#
#   bench/run-wayland.sh [--rounds N] [--sizes "WxH ..."] [--held-seconds S]
#                        [--rest-seconds S] [--forky]
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in sway swaybg grim cjpeg runuser; do
  command -v "$tool" >/dev/null || { echo "run-wayland.sh: $tool is missing (tools/deps.sh)" >&2; exit 1; }
done
if [[ ! -f build/linux-app/CMakeCache.txt ]]; then
  cmake --preset linux-app >/dev/null
fi
cmake --build --preset linux-app --target snapwick snapwick_wayland_client \
  snapwick_bench_wayland_probe snapwick_bench_wayland_keys snapwick_bench_desktop_ppm >/dev/null
echo "== Snapwick on sway, $(date -u '+%Y-%m-%d %H:%M:%S UTC'), commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown)$(git diff --quiet 2>/dev/null || echo ' (with uncommitted changes)')"
echo "machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1), load $(cut -d' ' -f1-3 /proc/loadavg)"
exec /usr/bin/python3 bench/wayland_bench.py build/linux-app "$@"
