#!/usr/bin/env bash
# The native program's first scenario: a copy of dist/snapwick-linux on a
# private Xvfb display with openbox and trayer makes a 1920x1080 JPEG for a
# press of F8, hides on the window manager's close box, ends with status 0
# through "Выход", and a SIGTERM ends a second run with status 0 too.
#
#   shot_and_exit.sh DIST_FOLDER
set -euo pipefail
dist=$1
work=$(mktemp -d /tmp/snapwick-native.XXXXXX)
pids=()
app_pid=
cleanup() {
  [[ -n $app_pid ]] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# poll SECONDS COMMAND...: retries every 0.1 s until the command succeeds.
poll() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

for _ in $(seq 20); do
  n=$((100 + RANDOM % 400))
  [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
  Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  pids+=($!)
  if poll 10 xdpyinfo -display ":$n" >/dev/null 2>&1; then
    export DISPLAY=":$n"
    break
  fi
done
[[ -n ${DISPLAY:-} ]] || fail "no virtual display"
openbox >/dev/null 2>&1 &
pids+=($!)
trayer --edge top --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 &
pids+=($!)
desktop_up() {
  [[ $(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null) == *'window id'* ]] &&
    [[ -n $(xdotool search --class trayer 2>/dev/null) ]]
}
poll 10 desktop_up || fail "openbox and trayer did not come up"

mkdir -p "$work/app"
cp -r "$dist/snapwick" "$dist/wav" "$work/app/"
export XDG_RUNTIME_DIR=$work
start() {
  "$work/app/snapwick" >"$work/out" 2>"$work/err" &
  app_pid=$!
  find_window() {
    window=$(xdotool search --onlyvisible --name '^Snapwick 1\.1' 2>/dev/null | head -n 1)
    [[ -n $window ]]
  }
  poll 20 find_window || fail "the window did not appear"
}
ended_with() {
  local status=0
  poll 10 bash -c "[[ ! -e /proc/$app_pid || \$(cut -d ' ' -f 3 /proc/$app_pid/stat 2>/dev/null) == Z ]]" ||
    fail "the program did not end"
  wait "$app_pid" || status=$?
  app_pid=
  ((status == $1)) || fail "the program ended with status $status, not $1"
}
# Whole outputs are matched: `grep -q` would end a pipeline early and make
# it fail under pipefail.
icon_docked() { [[ $(xwininfo -root -tree) == *'"snapwick": ("snapwick"'*22x22* ]]; }

start
poll 10 icon_docked || fail "no tray icon"
xdotool keydown F8
sleep 0.03
xdotool keyup F8
shot() { find "$work/app/pic" -name '*.jpg' | head -n 1; }
poll 10 shot >/dev/null || fail "no shot in pic/"
size=$(identify -format '%w x %h' "$(shot)")
[[ $size == "1920 x 1080" ]] || fail "the shot is $size"

# The close box: openbox's Alt+F4 sends WM_DELETE_WINDOW, which hides the
# window.
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
xdotool key alt+F4
unmapped() { [[ $(xwininfo -id "$window") == *IsUnMapped* ]]; }
poll 10 unmapped || fail "the close box did not hide the window"
kill -0 "$app_pid" || fail "the close box ended the program"

# A double-click on the tray icon brings it back.
read -r ix iy < <(xwininfo -root -tree | awk '/"snapwick"/ && /22x22/ {
  split($NF, at, "+"); print at[2] + 11, at[3] + 11; exit }')
[[ -n ${ix:-} ]] || fail "the tray icon's window was not found"
xdotool mousemove --sync "$ix" "$iy" click --repeat 2 --delay 80 1
shown() { [[ $(xwininfo -id "$window") == *IsViewable* ]]; }
poll 10 shown || fail "a double-click on the tray icon did not show the window"

# "Выход" at its layout rectangle (8, 176, 137, 25).
read -r x y < <(xwininfo -id "$window" |
  awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}')
xdotool mousemove --sync $((x + 76)) $((y + 188)) click 1
ended_with 0
icon_docked && fail "the tray icon outlived the program"

start
kill -TERM "$app_pid"
ended_with 0
if [[ -s $work/err ]]; then fail "the program wrote to stderr: $(cat "$work/err")"; fi
echo PASS
