# Shared by scripts/run and scripts/test: installs what is missing and builds.
# shellcheck shell=bash

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Debian packages the program needs to build and run (the build includes the
# tests: one plugs screens in and out through Qt's platform interface).
packages=(
  cmake g++ pkg-config ninja-build
  qt6-base-dev libqt6sql6-sqlite libqt6sql6-psql libpq-dev libsndfile1-dev
  libpulse-dev mdbtools mdbtools-dev
  qt6-base-private-dev
  fonts-noto-cjk espeak-ng qt6-translations-l10n
)
# What the tests need beyond that: a sound server, a database server and a
# D-Bus daemon of their own, an X server to start the installed program in,
# and the package tools.
test_packages=(
  pulseaudio pulseaudio-utils postgresql dbus-daemon
  xvfb xdotool desktop-file-utils dpkg-dev
)
# What scripts/windows needs to cross-build Qt and the rest from Debian's
# sources, to run the Windows tests under Wine and to make the installer.
windows_packages=(
  g++-mingw-w64-x86-64-posix mingw-w64-tools cmake ninja-build pkg-config
  dpkg-dev tcl bison flex qt6-base-dev qt6-base-private-dev qt6-translations-l10n
  wine wine64 nsis zip unzip
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}

# build DIR: configures (once) and builds the whole project in Release.
build() {
  local dir=$1
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    local launcher=()
    # ccache, where present, makes rebuilds of other checkouts cheap.
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}"
  fi
  cmake --build "$dir" -j "$(nproc)"
}
