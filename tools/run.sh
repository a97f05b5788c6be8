#!/usr/bin/env bash
# Builds Snapwick and runs it.
#
#   tools/run.sh          the native Linux program, dist/snapwick-linux/snapwick
#   tools/run.sh --wine   the Windows program, dist/Snapwick/snapwick.exe, under Wine
#
# With a $DISPLAY the program simply runs there, in the foreground, until it
# is ended with "Выход". Without one (a headless machine) it runs on a
# virtual display, and this script shows what it does: it presses the hotkey
# F8 once, ends the program with its "Выход" button and prints the shot. The
# native program gets a window manager (openbox) and a tray (trayer) there,
# as on a desktop.
#
# Wine keeps its state in build/wine-prefix (or $SNAPWICK_WINEPREFIX), never
# in ~/.wine.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

target=native
case "${1:-}" in
  "") ;;
  --wine) target=wine ;;
  *)
    echo "usage: $0 [--wine]" >&2
    exit 2
    ;;
esac

# shellcheck source=tools/deps.sh
source tools/deps.sh
snapwick_install_deps

if [[ $target == wine ]]; then
  cmake --preset windows
  cmake --build --preset windows
  dist=$repo/dist/Snapwick
  program=$dist/snapwick.exe
  export WINEPREFIX=${SNAPWICK_WINEPREFIX:-$repo/build/wine-prefix}
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
  mkdir -p "$(dirname "$WINEPREFIX")"
  run=(wine "$program")
else
  cmake --preset linux-app
  cmake --build --preset linux-app
  dist=$repo/dist/snapwick-linux
  program=$dist/snapwick
  run=("$program")
fi

if [[ -n ${DISPLAY:-} ]]; then
  echo "== running $program on $DISPLAY (end it with Выход)"
  exec "${run[@]}"
fi

xvfb_pid=
app_pid=
helper_pids=()
cleanup() {
  if [[ $target == wine ]]; then
    if [[ -n $app_pid ]] && kill -0 "$app_pid" 2>/dev/null; then
      wineserver -k 2>/dev/null || true
    fi
    wineserver -w 2>/dev/null || true
  elif [[ -n $app_pid ]]; then
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
  fi
  local pid
  for pid in "${helper_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

# poll SECONDS COMMAND...: retries the command every 0.1 s until it succeeds.
poll() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    if ((SECONDS >= deadline)); then
      return 1
    fi
    sleep 0.1
  done
}

for _ in $(seq 15); do
  n=$((50 + RANDOM % 50))
  [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
  Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  xvfb_pid=$!
  if poll 10 xdpyinfo -display ":$n" >/dev/null 2>&1; then
    export DISPLAY=":$n"
    break
  fi
  kill "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=
done
if [[ -z ${DISPLAY:-} ]]; then
  echo "could not start a virtual display" >&2
  exit 1
fi
echo "== no \$DISPLAY: started a virtual one, Xvfb $DISPLAY (1920x1080), for a demonstration"

if [[ $target == wine ]]; then
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    echo "== preparing the Wine prefix $WINEPREFIX (once, about 10 s)"
    wineboot -i >/dev/null 2>&1
  fi
else
  openbox >/dev/null 2>&1 &
  helper_pids+=($!)
  trayer --edge top --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 &
  helper_pids+=($!)
  desktop_up() {
    [[ $(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null) == *'window id'* ]] &&
      [[ -n $(xdotool search --class trayer 2>/dev/null) ]]
  }
  if poll 10 desktop_up; then
    echo "== started openbox and trayer"
  else
    echo "== (openbox or trayer did not come up; going on without)"
  fi
fi

started=$(date +%s)
"${run[@]}" >/dev/null 2>&1 &
app_pid=$!

find_window() {
  window=$(xdotool search --onlyvisible --name '^Snapwick' 2>/dev/null | head -n 1)
  [[ -n $window ]]
}
if ! poll 30 find_window; then
  echo "the program's window did not appear" >&2
  exit 1
fi
echo "== the window is up: $(xdotool getwindowname "$window")"

if [[ $target == wine ]]; then
  # Wine reports a key only while one of its windows has the X focus.
  xdotool windowfocus --sync "$window"
fi
echo "== pressing F8"
xdotool keydown F8
sleep 0.1
xdotool keyup F8

shots_of_this_run() {
  find "$dist/pic" -maxdepth 1 -name '*.jpg' -newermt "@$((started - 1))" 2>/dev/null | sort
}
has_shots() {
  [[ -n $(shots_of_this_run) ]]
}
if ! poll 15 has_shots; then
  echo "no shot appeared in $dist/pic" >&2
  exit 1
fi

# "Выход" is at client pixels 8..145, 176..201 (its layout rectangle at 96
# DPI). xwininfo gives the client area's origin, also inside a window
# manager's frame.
read -r x y < <(xwininfo -id "$window" |
  awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}')
echo "== clicking Выход"
xdotool mousemove --sync $((x + 76)) $((y + 188)) click 1
# An ended child stays a zombie until it is waited for.
app_ended() {
  [[ ! -e /proc/$app_pid || $(cut -d ' ' -f 3 "/proc/$app_pid/stat" 2>/dev/null) == Z ]]
}
if ! poll 15 app_ended; then
  echo "the program did not end after Выход" >&2
  exit 1
fi
status=0
wait "$app_pid" || status=$?
app_pid=

echo "== the program has ended with status $status; shots of this run:"
while IFS= read -r shot; do
  echo "   path:   $shot"
  echo "   pixels: $(identify -format '%w x %h' "$shot")"
  echo "   bytes:  $(stat -c %s "$shot")"
done < <(shots_of_this_run)
