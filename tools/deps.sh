# Installs what building and testing Snapwick needs on Debian; sourced by
# tools/test.sh and tools/run.sh. A machine that has everything skips apt.

SNAPWICK_PACKAGES=(
  # native build, unit tests and benchmarks
  cmake make g++ googletest libgtest-dev libbenchmark-dev
  # the X11 layer's keys: xkbcommon, and the XKB data its tests compile
  # keymaps from
  pkg-config libxkbcommon-dev xkb-data
  # the native Linux program: Qt's widgets, Xlib with shared memory and
  # RandR, the server's keymap, JPEG and the sound server's client
  qt6-base-dev libx11-dev libx11-xcb-dev libxext-dev libxrandr-dev libxi-dev
  libxkbcommon-x11-dev libturbojpeg0-dev libjpeg62-turbo-dev libpulse-dev
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
  # the fuzz test of the settings reader, and the naming rule
  clang libclang-rt-14-dev clang-tidy
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
  snapwick_install_packages && snapwick_ensure_russian_locale
}

snapwick_install_packages() {
  local missing
  mapfile -t missing < <(snapwick_missing_packages)
  if ((${#missing[@]} == 0)); then
    echo "== all ${#SNAPWICK_PACKAGES[@]} packages are installed"
    return 0
  fi
  echo "== installing: ${missing[*]}"
  local sudo=()
  if ((EUID != 0)); then
    if ! command -v sudo >/dev/null; then
      echo "missing packages and not root: ${missing[*]}" >&2
      return 1
    fi
    sudo=(sudo)
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}
