#!/usr/bin/env bash
# Runs a Windows console program under Wine in a throw-away prefix and exits
# with the program's own exit code; its output goes to our stdout/stderr.
#   tests/e2e/wine_run.sh EXE [ARGS...]
# The prefix is booted fresh for every run, so nothing left over from an
# earlier run (registry, files in C:) can change the result. When Xvfb is
# available the program gets a private display, so tests that make windows
# never touch the user's screen and also work on a machine without one.
set -euo pipefail

if [[ $# -lt 1 ]]; then
  echo "usage: $0 EXE [ARGS...]" >&2
  exit 2
fi
exe=$1
shift
if [[ ! -f $exe ]]; then
  echo "wine_run.sh: no such program: $exe" >&2
  exit 2
fi

# Folders of earlier runs that were killed outright (a ctest timeout sends
# SIGKILL) carry the pid of a process that is gone.
for old in "${TMPDIR:-/tmp}"/snapwick-wine-run.*.*; do
  pid=${old#*/snapwick-wine-run.}
  pid=${pid%%.*}
  if [[ -d $old && $pid =~ ^[0-9]+$ && ! -e /proc/$pid ]]; then
    rm -rf "$old"
  fi
done
work=$(mktemp -d "${TMPDIR:-/tmp}/snapwick-wine-run.$$.XXXXXX")
xvfb_pid=
export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
unset WINESERVER

cleanup() {
  local rc=$?
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

start_xvfb() {
  local n tries=0
  while ((tries++ < 15)); do
    n=$((50 + RANDOM % 50))
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    local i
    for ((i = 0; i < 200; i++)); do
      if ! kill -0 "$xvfb_pid" 2>/dev/null; then
        break
      fi
      if xdpyinfo -display ":$n" >/dev/null 2>&1; then
        export DISPLAY=":$n"
        return 0
      fi
      sleep 0.05
    done
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
  done
  echo "wine_run.sh: could not start Xvfb" >&2
  return 1
}

if command -v Xvfb >/dev/null && command -v xdpyinfo >/dev/null; then
  start_xvfb
fi

wineboot -i >/dev/null 2>&1 </dev/null

rc=0
wine "$exe" "$@" </dev/null || rc=$?
exit "$rc"
