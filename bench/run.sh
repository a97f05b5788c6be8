#!/usr/bin/env bash
# Builds the Windows preset if needed and runs both benchmarks under Wine at
# each screen size, each size on a virtual display and in a Wine prefix of
# its own, then prints every figure with the machine it was measured on and
# a table of the headline figures. Not a test: nothing here fails a build.
#
#   bench/run.sh [--screen WxH]... [--before DIR] [--rest S] [shot bench options,
#                e.g. --rounds 100 --memory-shots 1000]
#
# Without --screen it runs at 1920x1080 and at 3840x2160. The shot bench
# runs in a temporary copy of its folder with the program's sounds beside
# it, so that start-up finds and creates what snapwick.exe would; the
# held-key bench is then given the shot bench's median shot time, and also
# reads the program's CPU time over S seconds at rest (60 by default) and
# counts the shots of five 20 ms taps. --before DIR runs the same at each
# size first for the checkout in DIR (built here if it has not been), so
# that an earlier commit and this one are measured side by side in one run.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
command_line="$0${*:+ $*}"

sizes=()
bench_args=()
before=
rest=60
while (($#)); do
  if [[ $1 == --screen && $# -ge 2 ]]; then
    sizes+=("$2")
    shift 2
  elif [[ $1 == --before && $# -ge 2 ]]; then
    before=$(cd "$2" && pwd)
    shift 2
  elif [[ $1 == --rest && $# -ge 2 ]]; then
    rest=$2
    shift 2
  else
    bench_args+=("$1")
    shift
  fi
done
((${#sizes[@]})) || sizes=(1920x1080 3840x2160)

# Shots per second a held key must reach: 95 % of the 20 that the 50 ms
# timer allows at 1920x1080; 10 at 3840x2160, where a shot may take two
# ticks.
want_rate() {
  case $1 in
    1920x1080) echo 19 ;;
    3840x2160) echo 10 ;;
    *) echo 0 ;;
  esac
}

build_tree() {
  if [[ ! -f $1/build/windows/CMakeCache.txt ]]; then
    (cd "$1" && cmake --preset windows >/dev/null)
  fi
  (cd "$1" && cmake --build --preset windows --target snapwick snapwick_shot_bench >/dev/null)
}
builds=()
if [[ -n $before ]]; then
  build_tree "$before"
  builds+=(before)
fi
build_tree "$repo"
builds+=(after)
tree_of() { if [[ $1 == before ]]; then echo "$before"; else echo "$repo"; fi; }

tmp=$(mktemp -d /tmp/snapwick-bench-XXXXXX)
xvfb_pid=
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
unset WINESERVER

stop_size() {
  if [[ -n ${WINEPREFIX:-} && -d $WINEPREFIX ]]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
  fi
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  xvfb_pid=
}
cleanup() {
  stop_size
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

start_xvfb() {
  local size=$1 n
  for _ in $(seq 15); do
    n=$((100 + RANDOM % 41))
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
      xdpyinfo -display ":$n" >/dev/null 2>&1 && break
      sleep 0.1
    done
    if xdpyinfo -display ":$n" >/dev/null 2>&1; then
      export DISPLAY=":$n"
      return 0
    fi
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
  done
  echo "run.sh: could not start Xvfb on any display :100-:140" >&2
  return 1
}

# run_build SIZE BUILD: both benchmarks of one build (before, after) at that
# screen size, into $tmp/SIZE-BUILD/.
run_build() {
  local size=$1 build=$2 tree out=$tmp/$1-$2
  tree=$(tree_of "$build")
  mkdir -p "$out"
  export WINEPREFIX=$out/prefix
  start_xvfb "$size"
  wineboot -i >/dev/null 2>&1
  wineserver -w

  local bench_dir=$out/ShotBench
  mkdir -p "$bench_dir"
  cp "$tree/build/windows/bench/snapwick_shot_bench.exe" "$bench_dir/"
  cp -r "$tree/dist/Snapwick/wav" "$bench_dir/"

  cut -d' ' -f1-3 /proc/loadavg >"$out/load_before"
  local rc=0
  # Wine's sound back end complains on stderr on a machine without a sound card.
  wine "$bench_dir/snapwick_shot_bench.exe" --memory-trace 100 "${bench_args[@]}" \
    >"$out/shot.txt" 2>"$out/shot.err" || rc=$?
  echo "$rc" >"$out/shot.rc"
  local median
  median=$(sed -n 's/^median_shot_ms=//p' "$out/shot.txt" | tr -d '\r')
  stop_size

  rc=1
  if [[ -n $median ]]; then
    /usr/bin/python3 bench/held_key_bench.py --screen "$size" --shot-ms "$median" \
      --want-rate "$(want_rate "$size")" --rest "$rest" --taps 5 --dist "$tree/dist/Snapwick" \
      >"$out/held.txt" 2>&1 && rc=0 || rc=$?
  else
    echo "(no median from the shot bench; held-key bench not run)" >"$out/held.txt"
  fi
  echo "$rc" >"$out/held.rc"
  cut -d' ' -f1-3 /proc/loadavg >"$out/load_after"
}

for size in "${sizes[@]}"; do
  for build in "${builds[@]}"; do
    run_build "$size" "$build"
  done
done

# median_of FILE LABEL: the median column of a shot-bench row.
median_of() {
  tr -d '\r' <"$1" | awk -v label="$2" 'index($0, label) == 3 { for (i = 1; i < NF; i++) if ($i == "median") { print $(i + 1); exit } }'
}

echo "== Snapwick benchmarks, $(date -u '+%Y-%m-%d %H:%M:%S UTC')"
echo "command:  $command_line"
echo "commit:   $(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo unknown)"
if [[ -n $before ]]; then
  echo "before:   $(git -C "$before" rev-parse --short HEAD 2>/dev/null || echo unknown) ($before)"
fi
echo "machine:  $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
echo "wine:     $(wine --version 2>/dev/null)"
for size in "${sizes[@]}"; do
  for build in "${builds[@]}"; do
    out=$tmp/$size-$build
    echo
    echo "== $size, $build: load $(cat "$out/load_before") before, $(cat "$out/load_after") after (1, 5, 15 min averages)"
    echo "-- shot bench (exit $(cat "$out/shot.rc"))"
    tr -d '\r' <"$out/shot.txt"
    if [[ $(cat "$out/shot.rc") -ne 0 ]]; then
      echo "-- its stderr:"
      grep -v '^ALSA lib' "$out/shot.err" || true
    fi
    echo "-- held-key bench (exit $(cat "$out/held.rc"))"
    cat "$out/held.txt"
  done
done

echo
echo "== summary (medians in ms; held key in shots per second; CPU at rest in clock ticks over ${rest} s)"
printf '%-10s %-7s %9s %11s %15s %8s %12s %9s %7s %8s\n' screen build Snapwick "GDI+ probe" \
  "TurboJPEG probe" "/ GDI+" "/ TurboJPEG" "held key" taps "at rest"
for size in "${sizes[@]}"; do
  for build in "${builds[@]}"; do
    out=$tmp/$size-$build
    shot=$(median_of "$out/shot.txt" "Snapwick shot  CaptureScreen")
    gdiplus=$(median_of "$out/shot.txt" "GDI+ probe shot ")
    turbo=$(median_of "$out/shot.txt" "TurboJPEG probe shot ")
    held=$(sed -n 's/^held_key_rate=//p' "$out/held.txt")
    taps=$(sed -n 's/^tap_shots=//p' "$out/held.txt")
    idle=$(sed -n 's/^rest_cpu_ticks=//p' "$out/held.txt")
    ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a != "" && b > 0) printf "%.3f", a / b; else printf "-" }'; }
    printf '%-10s %-7s %9s %11s %15s %8s %12s %9s %7s %8s\n' "$size" "$build" "${shot:--}" \
      "${gdiplus:--}" "${turbo:--}" "$(ratio "$shot" "$gdiplus")" "$(ratio "$shot" "$turbo")" \
      "${held:--}" "${taps:--}" "${idle:--}"
  done
done
echo "targets: Snapwick / GDI+ <= 0.4, Snapwick / TurboJPEG <= 1.1; held key >= 19/s at 1920x1080, >= 10/s at 3840x2160"
