#!/usr/bin/env bash
# Builds the Windows preset if needed and runs both benchmarks under Wine,
# each on a virtual display of its own, then prints every figure with the
# machine it was measured on. Not a test: nothing here fails a build.
#
#   bench/run.sh [shot bench options, e.g. --rounds 100 --memory-shots 1000]
#
# The shot bench runs in a temporary copy of its folder with the program's
# sounds beside it, so that start-up finds and creates what snapwick.exe
# would; the held-key bench is then given the shot bench's median shot time.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
command_line="$0${*:+ $*}"

if [[ ! -f build/windows/CMakeCache.txt ]]; then
  cmake --preset windows >/dev/null
fi
cmake --build --preset windows --target snapwick snapwick_shot_bench >/dev/null

tmp=$(mktemp -d /tmp/snapwick-bench-XXXXXX)
xvfb_pid=
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
unset WINESERVER
cleanup() {
  if [[ -d $WINEPREFIX ]]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
  fi
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

for _ in $(seq 15); do
  n=$((100 + RANDOM % 41))
  [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
  Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    xdpyinfo -display ":$n" >/dev/null 2>&1 && break
    sleep 0.1
  done
  if xdpyinfo -display ":$n" >/dev/null 2>&1; then
    export DISPLAY=":$n"
    break
  fi
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=
done
if [[ -z $xvfb_pid ]]; then
  echo "run.sh: could not start Xvfb on any display :100-:140" >&2
  exit 1
fi

wineboot -i >/dev/null 2>&1
wineserver -w

bench_dir=$tmp/ShotBench
mkdir -p "$bench_dir"
cp build/windows/bench/snapwick_shot_bench.exe "$bench_dir/"
cp -r dist/Snapwick/wav "$bench_dir/"

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
shot_out=$tmp/shot_bench.txt
set +e
# Wine's sound back end complains on stderr on a machine without a sound card.
wine "$bench_dir/snapwick_shot_bench.exe" --memory-trace 100 "$@" >"$shot_out" 2>"$tmp/shot_bench.err"
shot_rc=$?
set -e
median=$(sed -n 's/^median_shot_ms=//p' "$shot_out" | tr -d '\r')

held_out=$tmp/held_key_bench.txt
held_rc=1
if [[ -n $median ]]; then
  set +e
  /usr/bin/python3 bench/held_key_bench.py --shot-ms "$median" >"$held_out" 2>&1
  held_rc=$?
  set -e
else
  echo "(no median from the shot bench; held-key bench not run)" >"$held_out"
fi

echo "== Snapwick benchmarks, $(date -u '+%Y-%m-%d %H:%M:%S UTC')"
echo "command:  $command_line"
echo "commit:   $(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo unknown)"
echo "machine:  $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
echo "wine:     $(wine --version 2>/dev/null)"
echo "load:     $load_before before, $(cut -d' ' -f1-3 /proc/loadavg) after (1, 5, 15 min averages)"
echo "display:  Xvfb $DISPLAY 1920x1080x24 (shot bench); the held-key bench starts its own"
echo
echo "== shot bench (exit $shot_rc)"
tr -d '\r' <"$shot_out"
if [[ $shot_rc -ne 0 ]]; then
  echo "-- its stderr:"
  grep -v '^ALSA lib' "$tmp/shot_bench.err" || true
fi
echo
echo "== held-key bench (exit $held_rc)"
cat "$held_out"
