#!/usr/bin/env bash
# tools/chroots.sh's cache without the network (debootstrap and apt
# replaced by folders with a mark): a made chroot is not made again, a
# half-made one is, a changed list gives a new folder, and an old folder
# with something mounted below it is unmounted before it is removed, so
# that what was mounted there survives. As root (it mounts).
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
SNAPWICK_CHROOTS=$(mktemp -d /tmp/snapwick-chroots-cache.XXXXXX)
host=$(mktemp -d /tmp/snapwick-chroots-host.XXXXXX)
cleanup() {
  awk -v d="$SNAPWICK_CHROOTS/" 'index($2, d) == 1 { print $2 }' /proc/mounts | sort -r |
    xargs -r umount -l || true
  rm -rf --one-file-system "$SNAPWICK_CHROOTS" "$host"
}
trap cleanup EXIT
# shellcheck source=tools/chroots.sh
source "$repo/tools/chroots.sh"

# The maker runs in a subshell: it counts in a file.
snapwick_chroot_make_root() {
  mkdir -p "$3/dev"
  echo "$1" >>"$host/made"
}
snapwick_chroot_make_layer() {
  mkdir -p "$3"
  echo "$1" >>"$host/made"
}
made() {
  wc -l <"$host/made"
}
fail() {
  echo "FAIL: $*"
  exit 1
}
make() {
  snapwick_chroots_make "$@" >"$host/log" 2>&1 || fail "tools/chroots.sh make $*: $(cat "$host/log")"
}

make trixie-gnome forky
(($(made) == 3)) || fail "the first run made $(made) chroots, not 3"
make
(($(made) == 3)) || fail "a second run made $(($(made) - 3)) again"

gnome=$(snapwick_chroot_dir trixie-gnome)
rm "$gnome.ready"
make
if (($(made) != 4)) || [[ ! -f $gnome.ready ]]; then
  fail "a layer without its stamp was not made again"
fi

forky=$(snapwick_chroot_dir forky)
SNAPWICK_CHROOT_PACKAGES[forky]+=" hello"
[[ $(snapwick_chroot_dir forky) != "$forky" ]] || fail "another package list gives the same folder"
[[ $(snapwick_chroot_layers trixie-gnome) == "$gnome:$(snapwick_chroot_dir trixie-base)" ]] ||
  fail "trixie-gnome's layers are $(snapwick_chroot_layers trixie-gnome)"

# The old forky, unused for three days, with this machine's folder bound
# below it as a scenario's run left it.
touch "$host/keep"
mount --bind "$host" "$forky/dev"
touch -d '3 days ago' "$forky.ready"
make forky
(($(made) == 5)) || fail "the changed list made no new forky"
[[ -e $host/keep ]] || fail "removing the old forky removed a file of the folder mounted below it"
[[ ! -e $forky ]] || fail "the old forky is still there"
! grep -q "$SNAPWICK_CHROOTS" /proc/mounts || fail "something stays mounted in the cache"
echo "PASS: the chroots' cache"
