#!/usr/bin/env bash
# Makes the two archives a user downloads, from fresh builds of both
# programs, into dist/release/:
#   Snapwick-<version>-win64.zip             the folder Snapwick/
#   Snapwick-<version>-linux-x86_64.tar.gz   the folder snapwick-linux/
# The version is the project's (CMakeLists.txt). Run from anywhere, as root
# on Debian (it installs what the builds need, as tools/test.sh does).
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive

# shellcheck source=tools/deps.sh
source tools/deps.sh
snapwick_install_deps

version=$(sed -n 's/^project(Snapwick VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[[ -n $version ]] || { echo "release.sh: no version in CMakeLists.txt" >&2; exit 1; }

for preset in windows linux-app; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target snapwick
done

out=dist/release
stage=$(mktemp -d /tmp/snapwick-release.XXXXXX)
trap 'rm -rf "$stage"' EXIT
rm -rf "$out"
mkdir -p "$out"

# The shipped files of the folder the Windows build lays out: a run from
# dist/ leaves pic/ and set.ini there, which are a user's, never the release's.
mkdir "$stage/Snapwick"
for file in snapwick.exe wav dist/Snapwick/*-libjpeg-turbo.*; do
  cp -a "dist/Snapwick/${file##*/}" "$stage/Snapwick/"
done

win="$out/Snapwick-$version-win64.zip"
linux="$out/Snapwick-$version-linux-x86_64.tar.gz"
(cd "$stage" && python3 - "$OLDPWD/$win" Snapwick <<'PY'
import os, sys, zipfile
archive, top = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
    for folder, dirs, files in os.walk(top):
        dirs.sort()
        z.write(folder)
        for name in sorted(files):
            z.write(os.path.join(folder, name))
PY
)
bash tools/linux_archive.sh dist/snapwick-linux "$linux"

for archive in "$win" "$linux"; do
  printf '%s  %s bytes\n' "$archive" "$(stat -c %s "$archive")"
done
