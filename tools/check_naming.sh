#!/usr/bin/env bash
# Holds every source of src/ that a build compiled to the naming rule of
# .clang-tidy. Run from anywhere:
#   tools/check_naming.sh BUILD_DIR [EXTRA_CLANG_ARG...]
# BUILD_DIR holds the build's compile_commands.json; only the files it
# compiled are checked (a Linux build does not compile the Win32 layer).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$1
shift
extra=()
for arg in "$@"; do extra+=("--extra-arg=$arg"); done

mapfile -t files < <(python3 - "$build/compile_commands.json" "$repo/src/" <<'PY'
import json, sys
src = sys.argv[2]
for entry in json.load(open(sys.argv[1])):
    if entry["file"].startswith(src):
        print(entry["file"])
PY
)
if ((${#files[@]} == 0)); then
  echo "check_naming.sh: no source of src/ in $build/compile_commands.json" >&2
  exit 2
fi
# One clang-tidy per few files, on every core: the check is the slowest of
# the rules and the files are independent.
printf '%s\0' "${files[@]}" |
  xargs -0 -n 4 -P "$(nproc)" clang-tidy -p "$build" --quiet "${extra[@]}"
echo "${#files[@]} files keep to the naming rule"
