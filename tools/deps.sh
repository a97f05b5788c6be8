# Installs what building and testing Snapwick needs on Debian; sourced by
# tools/test.sh and tools/run.sh, or run by itself (bash tools/deps.sh). A
# machine that has everything skips apt.
#
# The Windows build compiles libjpeg-turbo from Debian's own source package,
# and the Wayland layer takes two protocol files from wlroots' (no binary
# package ships them) and the ext-image-copy-capture ones from trixie's
# wayland-protocols (Debian 12's is too old to hold them): this adds a
# deb-src entry where apt has none (for trixie too, a source-only entry that
# changes no binary package) and fetches the three packages into
# $SNAPWICK_DEPS_CACHE (default .cache/debian-src, outside git), where CMake
# checks their upstream tarballs against the pinned hashes before using them.

SNAPWICK_PACKAGES=(
  # native build, unit tests and benchmarks
  cmake make g++ googletest libgtest-dev libbenchmark-dev
  # the JPEG encoder: Debian's library for the native build; for the
  # Windows build its source package (fetched with apt, unpacked with
  # dpkg-source) and the assembler of its SIMD code
  libturbojpeg0-dev dpkg-dev nasm debian-archive-keyring
  # the X11 layer's keys: xkbcommon, and the XKB data its tests compile
  # keymaps from
  pkg-config libxkbcommon-dev xkb-data
  # the native Linux program: Qt's widgets, Xlib with shared memory and
  # RandR, the server's keymap, JPEG and the sound server's client
  qt6-base-dev libx11-dev libx11-xcb-dev libxext-dev libxrandr-dev libxi-dev libxfixes-dev
  libxkbcommon-x11-dev libjpeg62-turbo-dev libpulse-dev
  # Qt's plugin for the window in a Wayland session
  qt6-wayland
  # the Linux benchmark: keys pressed through XTest, and scrot beside
  # ImageMagick's import as the tools a shot is compared with
  libxtst-dev scrot
  # the Windows cross build
  mingw-w64 gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix
  # running it: Wine and the X extensions and fonts that Wine's display
  # driver loads when present (recommendations, so named here)
  wine wine64 fonts-wine libxrender1 libxrandr2 libxi6 libxcursor1 libxfixes3
  libxinerama1 libxcomposite1 libxxf86vm1
  # the end-to-end tests: virtual display, input, window info, pictures,
  # and a plain X client that the X half of the harness is tried on
  xvfb xdotool x11-utils libx11-6 imagemagick python3 python3-pil procps xterm
  # and for the native program: a window manager, two kinds of tray, screen
  # resizing, a sound server, D-Bus
  openbox trayer tint2 x11-xserver-utils pulseaudio python3-dbus dbus-x11
  libjpeg-turbo-progs
  # faces with Cyrillic letters for the Russian texts, and the Russian
  # locale that makes Wine use code page 1251
  fonts-liberation fonts-dejavu-core locales
  # the fuzz test of the settings reader, the naming rule and the layout of
  # the sources
  clang libclang-rt-14-dev clang-tidy clang-format
  # the desktop portals' building blocks: D-Bus through Qt, the screen-cast
  # stream through PipeWire (the test tools' Wayland client code comes with
  # the Wayland layer below)
  libpipewire-0.3-dev
  # their scenarios, on both desktops: the session's media server, the
  # portal front end, the bus tools (busctl is systemd's), a plain Wayland
  # client that shows which keys reach it, and the user the desktops run as
  pipewire pipewire-bin wireplumber xdg-desktop-portal python3-gi dbus dbus-bin systemd wev
  passwd
  # KDE Plasma headless: the compositor, its portals and their QML, and the
  # fake-input protocol the key injector speaks
  kwin-wayland xdg-desktop-portal-kde qtwayland5 plasma-workspace plasma-wayland-protocols
  qml-module-org-kde-kirigami2 qml-module-qtquick-controls2 qml-module-qtquick-controls
  qml-module-qtquick-layouts qml-module-qtquick2 qml-module-qtquick-window2
  qml-module-org-kde-pipewire qml-module-qtgraphicaleffects
  # GNOME headless: the shell, its portals, and the settings daemon
  gnome-shell mutter xdg-desktop-portal-gnome gnome-settings-daemon
  # the Wayland layer: the client library, wayland-scanner and the stable
  # protocols (xdg-output); Qt's Wayland platform for the window, and Qt's
  # private headers for the platform interface that gives its connection
  libwayland-dev libwayland-bin wayland-protocols qt6-wayland qt6-base-private-dev
  # its scenarios and benchmark: a headless sway run as an ordinary user
  # (useradd), a background picture, keys through the virtual-keyboard
  # protocol, a client that shows which keys reach it, grim for comparison
  sway swaybg wtype wev grim passwd
  # the chroots of Debian 13 and forky (tools/chroots.sh): debootstrap's
  # downloader and the archive's signature check
  wget gpgv
)

snapwick_missing_packages() {
  local pkg
  for pkg in "${SNAPWICK_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}\n' "$pkg" 2>/dev/null | grep -q '^install ok installed$'; then
      printf '%s\n' "$pkg"
    fi
  done
}

# Wine takes its ANSI code page from the locale; ru_RU gives Windows-1251.
snapwick_ensure_russian_locale() {
  if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
    echo "== generating the ru_RU.UTF-8 locale"
    localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
  fi
}

snapwick_install_deps() {
  snapwick_install_packages && snapwick_ensure_russian_locale && snapwick_fetch_jpeg_source &&
    snapwick_fetch_wlroots_source && snapwick_fetch_wayland_protocols_source
}

SNAPWICK_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SNAPWICK_DEPS_CACHE=${SNAPWICK_DEPS_CACHE:-$SNAPWICK_REPO/.cache/debian-src}
SNAPWICK_SOURCE_ENTRY=/etc/apt/sources.list.d/snapwick-src.sources

snapwick_as_root() {
  if ((EUID == 0)); then
    "$@"
  elif command -v sudo >/dev/null; then
    sudo "$@"
  else
    echo "not root and no sudo: cannot run $*" >&2
    return 1
  fi
}

# PACKAGE or PACKAGE/RELEASE: whether apt knows that source package.
snapwick_has_source() {
  apt-get --print-uris -q source "$1" >/dev/null 2>&1
}

snapwick_host_release() {
  (. /etc/os-release && echo "${VERSION_CODENAME:-}")
}

# A deb-src entry for RELEASE (default: the release this machine runs),
# from the mirror its own deb entries use, signed by the Debian archive's
# keys. A source-only entry: what binary packages install stays the same.
snapwick_add_source_entry() {
  local release=${1:-$(snapwick_host_release)} entry=$SNAPWICK_SOURCE_ENTRY uri
  if [[ -z $release ]]; then
    echo "cannot tell the Debian release from /etc/os-release" >&2
    return 1
  fi
  if [[ $release != "$(snapwick_host_release)" ]]; then
    entry=${SNAPWICK_SOURCE_ENTRY%.sources}-$release.sources
  fi
  uri=$(awk '/^URIs:/ && !found { print $2; found = 1 }' /etc/apt/sources.list.d/debian.sources 2>/dev/null)
  uri=${uri:-http://deb.debian.org/debian}
  echo "== adding $entry: deb-src $uri $release"
  printf '%s\n' \
    "Types: deb-src" \
    "URIs: $uri" \
    "Suites: $release $release-updates" \
    "Components: main" \
    "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" |
    snapwick_as_root tee "$entry" >/dev/null
  snapwick_as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
}

# A Debian source package in the cache, fetched once: PACKAGE [RELEASE],
# the named release's version, else the version of the release this machine
# runs. Never "the newest apt knows": with a later release's deb-src entry
# present that would pick a version whose files the mirror may no longer
# serve, and a build that differs from the libraries installed here.
snapwick_fetch_source() {
  local package=$1 release=${2:-$(snapwick_host_release)} dir=$SNAPWICK_DEPS_CACHE/$1 wanted
  wanted=$package${release:+/$release}
  if compgen -G "$dir/${package}_*.dsc" >/dev/null && compgen -G "$dir/${package}_*.orig.tar.*" >/dev/null; then
    echo "== $package's source package is in $dir"
    return 0
  fi
  if ! snapwick_has_source "$wanted"; then
    snapwick_add_source_entry "$release" || return 1
    snapwick_has_source "$wanted" || {
      echo "apt still knows no source package $wanted" >&2
      return 1
    }
  fi
  echo "== fetching $wanted's source package into $dir"
  mkdir -p "$dir"
  (cd "$dir" && apt-get source --download-only -q "$wanted")
}

snapwick_fetch_jpeg_source() {
  snapwick_fetch_source libjpeg-turbo
}

# wlroots' source package holds the XML of wlr-screencopy-unstable-v1 and
# virtual-keyboard-unstable-v1, which the Wayland layer and its benchmark
# are generated from.
snapwick_fetch_wlroots_source() {
  snapwick_fetch_source wlroots
}

# trixie's wayland-protocols (1.44) holds ext-image-capture-source-v1 and
# ext-image-copy-capture-v1, the screen copy of sway 1.11 on and of the
# compositors that have no wlr-screencopy.
snapwick_fetch_wayland_protocols_source() {
  snapwick_fetch_source wayland-protocols trixie
}

snapwick_install_packages() {
  local missing
  mapfile -t missing < <(snapwick_missing_packages)
  if ((${#missing[@]} == 0)); then
    echo "== all ${#SNAPWICK_PACKAGES[@]} packages are installed"
    return 0
  fi
  echo "== installing: ${missing[*]}"
  snapwick_as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q &&
    snapwick_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  set -euo pipefail
  snapwick_install_deps
fi
