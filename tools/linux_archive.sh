#!/usr/bin/env bash
# Packs a built dist/snapwick-linux as the Linux archive a user downloads:
# the folder snapwick-linux/ with the executable stripped of its debugging
# information (the build keeps it for the tests and benches), owned by root.
# Only the shipped files go in: a run from dist/ leaves pic/, set.ini or
# screencast.token there, which are a user's, never the release's.
#   tools/linux_archive.sh DIST ARCHIVE.tar.gz
# tools/release.sh makes the released archive with it; the archive scenario
# on a clean Debian 13 makes its own the same way.
set -euo pipefail
dist=${1:?the built folder, dist/snapwick-linux}
archive=${2:?the archive to write}
stage=$(mktemp -d /tmp/snapwick-linux-archive.XXXXXX)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/snapwick-linux"
for file in snapwick wav example.kelmont.Snapwick.desktop example.kelmont.Snapwick.png; do
  cp -a "$dist/$file" "$stage/snapwick-linux/"
done
strip --strip-debug "$stage/snapwick-linux/snapwick"
tar -C "$stage" --owner=0 --group=0 --sort=name -czf "$archive" snapwick-linux
