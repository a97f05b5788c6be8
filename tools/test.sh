#!/usr/bin/env bash
# Installs what is missing, then builds and tests every preset through ctest:
#   linux    the portable core's and the Linux layer's unit tests, native,
#            with ASan and UBSan
#   linux-app the native Linux program, dist/snapwick-linux, and its
#            end-to-end scenarios
#   windows  snapwick.exe and the cross-built unit tests under Wine, plus the
#            end-to-end scenarios of dist/Snapwick under Wine and Xvfb
#   fuzz     the settings reader under libFuzzer for a fixed short time
# Prints a summary and exits non-zero if any step failed.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive

# shellcheck source=tools/deps.sh
source tools/deps.sh
snapwick_install_deps

summary=()
failed=0

step() {
  local name=$1
  shift
  echo
  echo "== $name: $*"
  local start=$SECONDS rc=0
  "$@" || rc=$?
  local took=$((SECONDS - start))
  if ((rc == 0)); then
    summary+=("PASS  $name (${took} s)")
  else
    summary+=("FAIL  $name (${took} s, exit code $rc)")
    failed=1
  fi
  return "$rc"
}

# windows before linux-app: some native scenarios run the Windows build
# beside the native one.
for preset in linux windows linux-app fuzz; do
  step "$preset: configure" cmake --preset "$preset" &&
    step "$preset: build" cmake --build --preset "$preset" &&
    step "$preset: tests" ctest --preset "$preset" ||
    true
done

echo
echo "== summary"
printf '   %s\n' "${summary[@]}"
if ((failed)); then
  echo "== FAILED (e2e pictures and logs: build/windows/e2e-output/)"
  exit 1
fi
echo "== all passed"
