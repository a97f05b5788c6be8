#!/usr/bin/env bash
# The native Linux program against the other ways to get a key press onto
# disk as a JPEG on X11, side by side in one run, at 1920x1080 and at
# 3840x2160 on Xvfb: Snapwick (dist/snapwick-linux/snapwick), scrot and
# ImageMagick's import started as whole processes, and a bare probe that
# only copies, compresses and writes. Prints figures; not a test.
#
#   bench/run-linux.sh [--rounds N] [--memory-shots N] [--rest-seconds S]
#                      [--held-seconds S] [--sound-on] [--sizes "WxH ..."]
#                      [--before DIST]
#
# --before DIST puts another build of the program (DIST/snapwick with its
# wav/, say the main branch's dist/snapwick-linux) beside this one: both
# run at once on F9 and F8, their key presses taken in turns, so that the
# two are compared in the same run under the same load.
#
# Each size gets a fresh Xvfb with openbox and trayer, the same generated
# desktop picture on the root window, and Snapwick with its window closed
# to the tray. At the first size the program's CPU at rest is measured
# beside the poll-only build of the same program. Each size also times the
# program's two ways to compress a shot (one strip, two strips at once)
# side by side.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
command_line="$0${*:+ $*}"

rounds=30 memory_shots=500 rest_seconds=60 held_seconds=3 sound=0 before=
sizes="1920x1080 3840x2160"
while (($#)); do
  case $1 in
    --rounds) rounds=$2; shift 2 ;;
    --memory-shots) memory_shots=$2; shift 2 ;;
    --rest-seconds) rest_seconds=$2; shift 2 ;;
    --held-seconds) held_seconds=$2; shift 2 ;;
    --sound-on) sound=1; shift ;;
    --sizes) sizes=$2; shift 2 ;;
    --before) before=$(cd "$2" && pwd); shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
for tool in scrot import Xvfb openbox trayer xdotool xwininfo; do
  command -v "$tool" >/dev/null || { echo "run-linux.sh: $tool is missing (tools/deps.sh)" >&2; exit 1; }
done

if [[ ! -f build/linux-app/CMakeCache.txt ]]; then
  cmake --preset linux-app >/dev/null
fi
cmake --build --preset linux-app --target snapwick snapwick_poll_only snapwick_bench_desktop \
  snapwick_bench_probe snapwick_bench_linux snapwick_bench_strips snapwick_bench_files >/dev/null
if [[ -n $before && ! -x $before/snapwick ]]; then
  echo "run-linux.sh: $before/snapwick is missing" >&2
  exit 1
fi
bench_bin=$repo/build/linux-app/bench
poll_only=$repo/build/linux-app/src/platform/linux/snapwick_poll_only

tmp=$(mktemp -d /tmp/snapwick-linux-bench-XXXXXX)
pids=()
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  pids=()
}
trap 'cleanup; rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM

poll() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

# set.ini: quality 80, the sounds as asked, the hotkey F8 or F9.
settings() {
  local code='\x77'
  [[ $2 == F9 ]] && code='\x78'
  printf "\x50\r\n\x0${sound}\r\n${code}\r\n${2}%20s" '' >"$1/set.ini"
}

# start_program BINARY FOLDER RUNTIME_DIR [KEY]: a copy in FOLDER with its
# sounds and settings (hotkey F8 unless KEY), its window closed to the
# tray; sets app_pid.
start_program() {
  local folder=$2
  mkdir -p "$folder" "$3"
  chmod 700 "$3"
  cp "$1" "$folder/snapwick"
  cp -r "$(dirname "$1")/wav" "$folder/" 2>/dev/null || cp -r "$repo/dist/snapwick-linux/wav" "$folder/"
  settings "$folder" "${4:-F8}"
  XDG_RUNTIME_DIR=$3 "$folder/snapwick" >"$folder.out" 2>"$folder.err" &
  app_pid=$!
  pids+=("$app_pid")
  local window=
  # The settings window, by its title and process both (xdotool's default
  # is either): the tray icon is a window of the program too.
  find_window() {
    local w
    for w in $(xdotool search --all --pid "$app_pid" --onlyvisible --name '^Snapwick [0-9]' 2>/dev/null); do
      if [[ $(xwininfo -id "$w" 2>/dev/null) == *IsViewable* ]]; then
        window=$w
        return 0
      fi
    done
    return 1
  }
  poll 20 find_window || { echo "the program's window did not appear" >&2; return 1; }
  docked() { [[ $(xwininfo -root -tree) == *'"snapwick": ("snapwick"'* ]]; }
  poll 10 docked || { echo "no tray icon" >&2; return 1; }
  unmapped() { [[ $(xwininfo -id "$window" 2>/dev/null) == *IsUnMapped* ]]; }
  closed() { "$bench_bin/snapwick_bench_linux" close "$window" && sleep 0.5 && unmapped; }
  poll 10 closed || { echo "the window did not close to the tray" >&2; return 1; }
}

stage() {
  local size=$1 first=$2
  local width=${size%x*} height=${size#*x}
  local n=
  for _ in $(seq 20); do
    n=$((150 + RANDOM % 300))
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
    pids+=($!)
    if poll 10 xdpyinfo -display ":$n" >/dev/null 2>&1; then break; fi
    n=
  done
  [[ -n $n ]] || { echo "no virtual display" >&2; return 1; }
  export DISPLAY=":$n"
  openbox >/dev/null 2>&1 &
  pids+=($!)
  trayer --edge top --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 &
  pids+=($!)
  desktop_up() {
    [[ $(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null) == *'window id'* ]] &&
      [[ -n $(xdotool search --class trayer 2>/dev/null) ]]
  }
  poll 10 desktop_up || { echo "openbox and trayer did not come up" >&2; return 1; }

  echo "== $size (Xvfb $DISPLAY, depth 24, openbox, trayer; Snapwick's window closed to the tray," \
    "sounds $( ((sound)) && echo on || echo off))"
  "$bench_bin/snapwick_bench_desktop" "$width" "$height"
  local stage_dir=$tmp/$size
  mkdir -p "$stage_dir/out"
  start_program "$repo/dist/snapwick-linux/snapwick" "$stage_dir/app" "$stage_dir/run"
  local snap_pid=$app_pid before_pid=
  mkdir -p "$stage_dir/app/pic"
  local programs=("Snapwick=F8=$stage_dir/app/pic")
  if [[ -n $before ]]; then
    start_program "$before/snapwick" "$stage_dir/before" "$stage_dir/run-before" F9
    before_pid=$app_pid
    mkdir -p "$stage_dir/before/pic"
    programs=("Snapwick before=F9=$stage_dir/before/pic" "${programs[@]}")
  fi
  sleep 1
  echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
  "$bench_bin/snapwick_bench_strips" "$width" "$height" "$rounds" 80
  "$bench_bin/snapwick_bench_linux" latency "$rounds" "$stage_dir/out" \
    "$bench_bin/snapwick_bench_probe" "${programs[@]}" || echo "(some shots failed)"
  if [[ -n $before ]]; then
    echo "before (F9):"
    "$bench_bin/snapwick_bench_linux" held "$held_seconds" F9 "$stage_dir/before/pic"
  fi
  "$bench_bin/snapwick_bench_linux" held "$held_seconds" F8 "$stage_dir/app/pic"
  if [[ -n $before ]]; then
    echo "memory, before (F9):"
    "$bench_bin/snapwick_bench_linux" memory "$memory_shots" F9 "$stage_dir/before/pic" \
      "$before_pid" || echo "(some presses made no shot)"
    echo "memory, Snapwick (F8):"
  fi
  "$bench_bin/snapwick_bench_linux" memory "$memory_shots" F8 "$stage_dir/app/pic" "$snap_pid" ||
    echo "(some presses made no shot)"
  # A shot's size at this resolution, written every way the program can.
  "$bench_bin/snapwick_bench_files" "$stage_dir/app/pic" "$rounds" "$((width * height / 4))"
  if ((first)); then
    start_program "$poll_only" "$stage_dir/poll" "$stage_dir/run-poll"
    local poll_pid=$app_pid
    sleep 2
    local resting=("Snapwick=$snap_pid" "the same, poll-only build=$poll_pid")
    [[ -n $before ]] && resting=("Snapwick before=$before_pid" "${resting[@]}")
    "$bench_bin/snapwick_bench_linux" rest "$rest_seconds" "${resting[@]}"
  fi
  local err
  for err in "$stage_dir/app.err" "$stage_dir/before.err"; do
    if [[ -s $err ]]; then
      echo "stderr of $(basename "$err" .err):"
      sed 's/^/  /' "$err"
    fi
  done
  echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
  cleanup
  echo
}

echo "== Snapwick on Linux, $(date -u '+%Y-%m-%d %H:%M:%S UTC')"
echo "command:  $command_line"
echo "commit:   $(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo unknown)$(git -C "$repo" diff --quiet 2>/dev/null || echo ' (with uncommitted changes)')"
[[ -n $before ]] && echo "before:   $before/snapwick"
echo "machine:  $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1), kernel $(uname -r)"
echo "tools:    $(scrot --version 2>&1 | head -n 1); $(import -version | sed -n 's/^Version: //p' | cut -d' ' -f1-3);" \
  "libjpeg-turbo $(pkg-config --modversion libturbojpeg)"
echo "load:     $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min averages); busiest other processes:"
ps -eo pcpu=,comm= --sort=-pcpu | head -n 5 | sed 's/^/            /'
echo
first=1
for size in $sizes; do
  stage "$size" "$first"
  first=0
done
