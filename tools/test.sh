#!/usr/bin/env bash
# Installs what is missing, then builds and tests every preset through ctest:
#   linux    the portable core's and the Linux layer's unit tests, native,
#            with ASan and UBSan
#   linux-app the native Linux program, dist/snapwick-linux, and its
#            end-to-end scenarios, some on today's desktops in chroots that
#            tools/chroots.sh makes in the background meanwhile
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

# The chroots of today's desktops (tools/chroots.sh) are made while the
# builds run: they wait on the network and the disk, the builds on the
# cores. linux-app's desktops_chroots test waits for them.
mkdir -p build
rm -f build/chroots.status
echo "== chroots: made in the background, log in build/chroots.log"
(
  started=$SECONDS rc=0
  nice -n 10 bash tools/chroots.sh make >build/chroots.log 2>&1 </dev/null || rc=$?
  echo "$rc $((SECONDS - started))" >build/chroots.status
) &
chroots_job=$!

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

wait "$chroots_job" || true
read -r chroots_rc chroots_took <build/chroots.status || chroots_rc=1
grep '^== chroots' build/chroots.log || true
if ((chroots_rc == 0)); then
  summary+=("PASS  chroots, in the background (${chroots_took:-?} s)")
else
  summary+=("FAIL  chroots, in the background (${chroots_took:-?} s, see build/chroots.log)")
  failed=1
fi

echo
echo "== summary"
printf '   %s\n' "${summary[@]}"
if ((failed)); then
  echo "== FAILED (e2e pictures and logs: build/windows/e2e-output/)"
  exit 1
fi
echo "== all passed"
