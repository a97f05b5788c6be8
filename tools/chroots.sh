#!/usr/bin/env bash
# Makes and caches the Debian chroots that the desktops2026 scenarios run
# today's desktops in, headless, beside the program built on this machine:
#   trixie-base    Debian 13 with only the Linux archive's runtime packages
#   trixie-gnome   GNOME 48 and its portals, a layer over trixie-base
#   forky          Debian testing: sway, labwc, KWin (Plasma 6) and GNOME,
#                  their portals, PipeWire, and the archive's runtime packages
# They live outside the repository, in ${SNAPWICK_CHROOTS:-/var/cache/snapwick/chroots},
# each in a folder named after its package list's digest: a changed list
# makes a new one (the old one goes after two days unused), an unchanged
# one costs a second. A folder without its .ready stamp is a half-made one
# and is made again. One maker at a time: a second one waits, then finds
# them made (tools/test.sh makes them in the background while it builds,
# and linux-app's desktops_chroots test waits so).
#
#   bash tools/chroots.sh make [NAME...]   make what is missing (all by default)
#   bash tools/chroots.sh layers NAME      the overlay lower dirs, top first
#   bash tools/chroots.sh packages NAME    the packages asked for in NAME
#   bash tools/chroots.sh remove           every chroot and the cache itself
#
# Sourced, it only defines the functions. Needs root.
#
# debootstrap is Debian 12's own package unpacked here with dpkg -x (never
# installed: the host's dpkg lock is not taken), minbase, from the archive
# this machine's apt uses; forky through debootstrap's sid script. apt never
# installs recommendations and no service starts (policy-rc.d exits 101).
# Everything runs in a private mount namespace, so that no mount made for
# apt's scripts outlives it, whatever happens.

SNAPWICK_CHROOTS=${SNAPWICK_CHROOTS:-/var/cache/snapwick/chroots}
SNAPWICK_CHROOTS_SH=$(realpath "${BASH_SOURCE[0]}")

# Raising this remakes every chroot: what the recipe below does changed.
SNAPWICK_CHROOT_RECIPE=1

# NAME: suite, parent (- for a debootstrapped root), packages.
declare -A SNAPWICK_CHROOT_SUITE=([trixie-base]=trixie [trixie-gnome]=trixie [forky]=forky)
declare -A SNAPWICK_CHROOT_PARENT=([trixie-base]=- [trixie-gnome]=trixie-base [forky]=-)
declare -A SNAPWICK_CHROOT_PACKAGES

# The README's runtime packages for the Linux archive (the X11 and Wayland
# libraries, Qt's Wayland plugin, a font with Cyrillic letters) and no more:
# the archive scenario shows that this list is enough.
SNAPWICK_ARCHIVE_RUNTIME="
  libqt6widgets6 libqt6gui6 libqt6dbus6 libqt6core6 libx11-6 libx11-xcb1 libxext6 libxi6
  libxfixes3 libxrandr2 libxkbcommon0 libxkbcommon-x11-0 libwayland-client0 libpipewire-0.3-0
  libturbojpeg0 libpulse0 libjpeg62-turbo qt6-wayland fonts-dejavu-core"
SNAPWICK_CHROOT_PACKAGES[trixie-base]=$SNAPWICK_ARCHIVE_RUNTIME

# GNOME 48 headless: the shell, its portal (whose GlobalShortcuts provider
# is gnome-control-center's), the session's media server and bus (dbus-x11
# answers the portal's need of a session bus without bringing systemd).
SNAPWICK_CHROOT_PACKAGES[trixie-gnome]="
  gnome-shell mutter xdg-desktop-portal xdg-desktop-portal-gnome gnome-control-center
  pipewire pipewire-bin wireplumber dbus dbus-daemon dbus-bin dbus-x11"

# forky's desktops: sway 1.12 and labwc 0.20 (swaybg for a known picture,
# wtype for keys, wayland-info for the globals, wlr-randr for labwc's mode,
# grim and wev to see the screen and the keys a client gets, wlrctl for
# labwc's window titles), KWin 6.7 with its portal, the global shortcuts
# daemon, kbuildsycoca6, the QML of the portal's dialogs and Plasma's Qt
# theme (Qt 6.11's own KDE theme crashes kwin_wayland at start without
# it), GNOME 50 with its portal; and the archive's runtime packages, so
# that the program starts inside where a desktop runs its command (labwc's
# key binding): the desktops bring all of them but libturbojpeg0.
SNAPWICK_CHROOT_PACKAGES[forky]="$SNAPWICK_ARCHIVE_RUNTIME
  sway swaybg labwc wtype wayland-utils wlr-randr grim wev wlrctl
  kwin-wayland xdg-desktop-portal-kde kglobalacceld libkf6service-bin plasma-integration
  qml6-module-org-kde-kirigami qml6-module-qtquick-controls qml6-module-qtquick-layouts
  qml6-module-qtquick-window qml6-module-qtquick-templates
  gnome-shell mutter xdg-desktop-portal-gnome gnome-control-center
  xdg-desktop-portal pipewire pipewire-bin wireplumber dbus dbus-daemon dbus-bin dbus-x11"

SNAPWICK_CHROOT_NAMES=(trixie-base trixie-gnome forky)

snapwick_chroot_log() {
  printf '== chroots: %s\n' "$*"
}

# The archive this machine's apt uses.
snapwick_chroot_mirror() {
  local uri
  uri=$(awk '/^URIs:/ && !found { print $2; found = 1 }' /etc/apt/sources.list.d/debian.sources 2>/dev/null)
  printf '%s\n' "${uri:-http://deb.debian.org/debian}"
}

# NAME's packages, one a line.
snapwick_chroot_packages() {
  # shellcheck disable=SC2086
  printf '%s\n' ${SNAPWICK_CHROOT_PACKAGES[$1]}
}

# A digest of everything a chroot is made from, its parent's included.
snapwick_chroot_key() {
  local name=$1 parent=${SNAPWICK_CHROOT_PARENT[$1]}
  {
    echo "recipe $SNAPWICK_CHROOT_RECIPE"
    echo "suite ${SNAPWICK_CHROOT_SUITE[$name]}"
    echo "mirror $(snapwick_chroot_mirror)"
    snapwick_chroot_packages "$name" | sort
    [[ $parent == - ]] || echo "parent $(snapwick_chroot_key "$parent")"
  } | sha256sum | cut -c1-12
}

snapwick_chroot_dir() {
  printf '%s/%s-%s\n' "$SNAPWICK_CHROOTS" "$1" "$(snapwick_chroot_key "$1")"
}

# The overlay's lower dirs for NAME, top first, as mount -o lowerdir= takes
# them.
snapwick_chroot_layers() {
  local name=$1 layers='' dir
  [[ -n ${SNAPWICK_CHROOT_SUITE[$name]:-} ]] || {
    echo "chroots: no chroot named $name (${SNAPWICK_CHROOT_NAMES[*]})" >&2
    return 1
  }
  while [[ $name != - ]]; do
    dir=$(snapwick_chroot_dir "$name")
    layers+=${layers:+:}$dir
    name=${SNAPWICK_CHROOT_PARENT[$name]}
  done
  printf '%s\n' "$layers"
}

# Removes a folder that may still have mounts below it (a run that was
# killed): unmounted first, deepest first, and never across file systems.
# With --later it is only moved into the trash, which snapwick_chroots_make
# empties once it no longer holds the makers' lock.
snapwick_chroot_rm() {
  local later=0
  if [[ $1 == --later ]]; then
    later=1
    shift
  fi
  local dir=$1 mounts
  [[ -e $dir ]] || return 0
  mapfile -t mounts < <(awk -v d="$dir/" 'index($2 "/", d) == 1 { print $2 }' /proc/mounts | sort -r)
  if ((${#mounts[@]})); then
    umount -l "${mounts[@]}" || true
  fi
  if awk -v d="$dir/" 'index($2 "/", d) == 1 { found = 1 } END { exit !found }' /proc/mounts; then
    echo "chroots: $dir still has mounts below it; not removing it" >&2
    return 1
  fi
  if ((later)); then
    mkdir -p "$SNAPWICK_CHROOTS/.trash" && mv "$dir" "$(mktemp -d "$SNAPWICK_CHROOTS/.trash/XXXXXX")/"
  else
    rm -rf --one-file-system "$dir"
  fi
}

# Debian 12's debootstrap, unpacked once into the cache.
snapwick_chroot_debootstrap() {
  local dir=$SNAPWICK_CHROOTS/debootstrap
  if [[ -x $dir/usr/sbin/debootstrap ]]; then
    return 0
  fi
  local tmp
  tmp=$(mktemp -d "$SNAPWICK_CHROOTS/.debootstrap.XXXXXX")
  if ! (cd "$tmp" && apt-get download -q -o APT::Sandbox::User=root debootstrap 9>&-); then
    apt-get update -q 9>&- && (cd "$tmp" && apt-get download -q -o APT::Sandbox::User=root debootstrap 9>&-) || return 1
  fi
  dpkg -x "$tmp"/debootstrap_*.deb "$tmp/root" && rm -rf "$dir" && mv "$tmp/root" "$dir" &&
    rm -rf "$tmp"
}

# Runs a shell script as root inside ROOT with proc, sys, /dev, a new
# devpts and /dev/shm mounted, in a mount namespace of its own.
snapwick_chroot_run() {
  local root=$1 script=$2
  # shellcheck disable=SC2016
  unshare -m --propagation private sh -euc '
    root=$1; shift
    mount -t proc proc "$root/proc"
    mount -t sysfs sysfs "$root/sys"
    mount --bind /dev "$root/dev"
    mount -t devpts -o newinstance,ptmxmode=0666,mode=620 devpts "$root/dev/pts"
    mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
    exec chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
      DEBIAN_FRONTEND=noninteractive sh -euc "$@"
  ' sh "$root" "$script" 9>&-
}

# The settings every chroot gets before apt runs in it.
snapwick_chroot_configure() {
  local root=$1 suite=$2
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod 755 "$root/usr/sbin/policy-rc.d"
  {
    echo 'APT::Install-Recommends "false";'
    echo 'APT::Install-Suggests "false";'
    echo 'Dpkg::Use-Pty "false";'
    echo 'Acquire::Languages "none";'
    # forky's Release can be past its Valid-Until by this machine's clock.
    [[ $suite != forky ]] || echo 'Acquire::Check-Valid-Until "false";'
  } >"$root/etc/apt/apt.conf.d/90snapwick"
  cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
}

snapwick_chroot_install() {
  local root=$1 name=$2 packages
  packages=$(snapwick_chroot_packages "$name" | tr '\n' ' ')
  snapwick_chroot_run "$root" "
    apt-get update -q
    apt-get install -y -q --no-install-recommends $packages
    apt-get clean"
}

# Makes NAME (and its parent first) unless its ready folder is there.
snapwick_chroot_make_one() {
  local name=$1 parent=${SNAPWICK_CHROOT_PARENT[$1]} dir started=$SECONDS
  [[ -n ${SNAPWICK_CHROOT_SUITE[$name]:-} ]] || {
    echo "chroots: no chroot named $name (${SNAPWICK_CHROOT_NAMES[*]})" >&2
    return 1
  }
  [[ $parent == - ]] || snapwick_chroot_make_one "$parent" || return 1
  dir=$(snapwick_chroot_dir "$name")
  if [[ -f $dir.ready && -d $dir ]]; then
    [[ -z ${snapwick_chroots_seen[$name]:-} ]] || return 0
    snapwick_chroots_seen[$name]=1
    snapwick_chroot_log "$name: ready in $dir"
    # Its stamp's time is when it was last asked for.
    touch "$dir.ready"
    snapwick_chroot_prune "$name"
    return 0
  fi
  if [[ -e $dir ]]; then
    snapwick_chroot_log "$name: $dir is half made (no $dir.ready): making it again"
    snapwick_chroot_rm "$dir" || return 1
  fi
  local suite=${SNAPWICK_CHROOT_SUITE[$name]}
  if [[ $parent == - ]]; then
    snapwick_chroot_make_root "$name" "$suite" "$dir" || return 1
  else
    snapwick_chroot_make_layer "$name" "$(snapwick_chroot_layers "$parent")" "$dir" || return 1
  fi
  printf 'made %s in %d s\npackages %s\n' "$(date -u +%FT%TZ)" $((SECONDS - started)) \
    "$(snapwick_chroot_packages "$name" | tr '\n' ' ')" >"$dir.ready"
  snapwick_chroot_log "$name: made in $((SECONDS - started)) s, $(du -sh --one-file-system "$dir" | cut -f1)"
  snapwick_chroots_seen[$name]=1
  snapwick_chroot_prune "$name"
}

snapwick_chroot_make_root() {
  local name=$1 suite=$2 dir=$3 step=$SECONDS script
  local bootstrap=$SNAPWICK_CHROOTS/debootstrap
  # Debian 12's debootstrap knows no forky: sid's script makes any suite
  # of today's layout.
  script=$bootstrap/usr/share/debootstrap/scripts/$suite
  [[ -e $script ]] || script=$bootstrap/usr/share/debootstrap/scripts/sid
  snapwick_chroot_log "$name: debootstrap $suite"
  # dpkg syncs every file it unpacks; a chroot cut short is made again
  # anyway.
  mkdir -p "$dir/etc/dpkg/dpkg.cfg.d"
  echo force-unsafe-io >"$dir/etc/dpkg/dpkg.cfg.d/snapwick-unsafe-io"
  DEBOOTSTRAP_DIR=$bootstrap/usr/share/debootstrap \
    "$bootstrap/usr/sbin/debootstrap" --variant=minbase \
    --keyring=/usr/share/keyrings/debian-archive-keyring.gpg \
    "$suite" "$dir" "$(snapwick_chroot_mirror)" "$script" >"$dir.log" 2>&1 9>&- || {
    echo "chroots: debootstrap failed; the end of $dir.log:" >&2
    tail -n 20 "$dir.log" >&2
    return 1
  }
  snapwick_chroot_log "$name: debootstrap took $((SECONDS - step)) s"
  step=$SECONDS
  snapwick_chroot_configure "$dir" "$suite"
  snapwick_chroot_log "$name: installing its packages"
  snapwick_chroot_install "$dir" "$name" >>"$dir.log" 2>&1 || {
    echo "chroots: apt failed in $name; the end of $dir.log:" >&2
    tail -n 20 "$dir.log" >&2
    return 1
  }
  snapwick_chroot_log "$name: packages took $((SECONDS - step)) s"
}

# A layer: the parent's layers below, this one's upper dir on top, apt run
# in the overlay; the upper dir is the layer.
snapwick_chroot_make_layer() {
  local name=$1 lower=$2 dir=$3 step=$SECONDS
  local work=$dir.work merged=$dir.merged
  snapwick_chroot_rm "$work" && snapwick_chroot_rm "$merged" || return 1
  mkdir -p "$dir" "$work" "$merged"
  snapwick_chroot_log "$name: installing its packages over ${lower//:/ and }"
  # The overlay, the mounts inside it and apt in one namespace: the
  # overlay goes with it.
  # shellcheck disable=SC2016
  unshare -m --propagation private sh -euc '
    mount -t overlay overlay -o "lowerdir=$1,upperdir=$2,workdir=$3" "$4"
    shift 4
    "$@"
  ' sh "$lower" "$dir" "$work" "$merged" bash -c "
    source '$SNAPWICK_CHROOTS_SH'
    snapwick_chroot_configure '$merged' '${SNAPWICK_CHROOT_SUITE[$name]}'
    snapwick_chroot_install '$merged' '$name'" >"$dir.log" 2>&1 9>&- || {
    echo "chroots: apt failed in $name; the end of $dir.log:" >&2
    tail -n 20 "$dir.log" >&2
    return 1
  }
  rm -rf "$work" "$merged"
  snapwick_chroot_log "$name: packages took $((SECONDS - step)) s"
}

# Removes NAME's chroots that are half made, or made from other lists and
# not asked for in two days (so that two work trees with different lists do
# not remake them in turn), unless a scenario holds one (a shared lock on
# its .ready stamp). Runs under the makers' lock: nothing is being made.
snapwick_chroot_prune() {
  local name=$1 keep entry old
  declare -A olds=()
  keep=$(snapwick_chroot_dir "$name")
  for entry in "$SNAPWICK_CHROOTS/$name"-*; do
    entry=${entry##*/}
    old=$SNAPWICK_CHROOTS/${entry%%.*}
    [[ $old =~ /$name-[0-9a-f]{12}$ && $old != "$keep" ]] && olds[$old]=1
  done
  for old in "${!olds[@]}"; do
    if [[ -f $old.ready ]]; then
      [[ -n $(find "$old.ready" -mmin +2880) ]] || continue
      if ! flock -x -n "$old.ready" true; then
        snapwick_chroot_log "$name: $old is in use; left for a later run"
        continue
      fi
    fi
    snapwick_chroot_log "$name: removing $old (half made, or from another list)"
    snapwick_chroot_rm --later "$old" && snapwick_chroot_rm --later "$old.work" &&
      snapwick_chroot_rm --later "$old.merged" && rm -f "$old.ready" "$old.log"
  done
}

# Makes the chroots named (all by default), one maker at a time on the
# machine: a second one waits, then finds them made.
snapwick_chroots_make() {
  local names=("$@") started=$SECONDS name
  ((${#names[@]})) || names=("${SNAPWICK_CHROOT_NAMES[@]}")
  if ((EUID != 0)); then
    echo "chroots: run as root (debootstrap, chroot and mount need it)" >&2
    return 1
  fi
  mkdir -p "$SNAPWICK_CHROOTS"
  (
    declare -A snapwick_chroots_seen=()
    exec 9>"$SNAPWICK_CHROOTS/.lock"
    if ! flock -n 9; then
      snapwick_chroot_log "waiting for another maker of the chroots"
      flock 9
    fi
    # Each root with its layers on its own, the roots side by side: apt
    # and dpkg wait on the network and the disk more than on a core.
    declare -A chains=()
    local root pids=() pid failed=0
    for name in "${names[@]}"; do
      [[ -n ${SNAPWICK_CHROOT_SUITE[$name]:-} ]] || {
        echo "chroots: no chroot named $name (${SNAPWICK_CHROOT_NAMES[*]})" >&2
        exit 1
      }
      root=$name
      while [[ ${SNAPWICK_CHROOT_PARENT[$root]} != - ]]; do
        root=${SNAPWICK_CHROOT_PARENT[$root]}
      done
      chains[$root]+=" $name"
    done
    snapwick_chroot_debootstrap || exit 1
    for root in "${!chains[@]}"; do
      (
        for name in ${chains[$root]}; do
          snapwick_chroot_make_one "$name" || exit 1
        done
      ) &
      pids+=("$!")
    done
    for pid in "${pids[@]}"; do
      wait "$pid" || failed=1
    done
    exit "$failed"
  ) || {
    snapwick_chroot_log "FAILED after $((SECONDS - started)) s"
    return 1
  }
  snapwick_chroot_log "${names[*]} ready in $((SECONDS - started)) s"
  if [[ -d $SNAPWICK_CHROOTS/.trash ]]; then
    # Nothing below the trash is mounted: only what was checked goes there.
    rm -rf --one-file-system "$SNAPWICK_CHROOTS/.trash"
    snapwick_chroot_log "old chroots removed in $((SECONDS - started)) s"
  fi
}

snapwick_chroots_remove() {
  local dir
  [[ -d $SNAPWICK_CHROOTS ]] || return 0
  exec 9>"$SNAPWICK_CHROOTS/.lock"
  flock 9
  for dir in "$SNAPWICK_CHROOTS"/*/; do
    snapwick_chroot_rm "${dir%/}" || return 1
  done
  rm -rf --one-file-system "$SNAPWICK_CHROOTS"
}

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  set -euo pipefail
  command=${1:-make}
  shift || true
  case $command in
    make) snapwick_chroots_make "$@" ;;
    layers) snapwick_chroot_layers "${1:?the name of a chroot}" ;;
    packages) snapwick_chroot_packages "${1:?the name of a chroot}" ;;
    remove) snapwick_chroots_remove ;;
    *)
      echo "usage: $0 make [NAME...] | layers NAME | packages NAME | remove" >&2
      exit 2
      ;;
  esac
  # bash reads a script as it goes: ending here, a run that takes minutes
  # never reads a file edited meanwhile.
  exit
fi
