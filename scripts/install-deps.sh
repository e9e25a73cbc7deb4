#!/usr/bin/env bash
# Installs, from Debian's packages, everything Kuv-Zip needs to build, run and test.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6dbus6 qt6-tools-dev qt6-tools-dev-tools qt6-svg-dev
  libqt6svg6 qt6-translations-l10n qt6-qpa-plugins libgl-dev
  zlib1g-dev libdeflate-dev libisal-dev
  googletest libgtest-dev libgmock-dev
  # tools the tests and the benchmark use
  unzip zip p7zip-full libarchive-tools python3 xvfb xdg-utils x11-apps imagemagick
  util-linux time
  # a small FAT image for the medium-limit test (mkfs.vfat)
  dosfstools
  # the engine's fuzz targets: clang, its libFuzzer and sanitizer runtimes,
  # llvm-symbolizer for readable stacks
  clang libclang-rt-dev llvm
  # desktop integration: validating the menu entry and the metainfo, building
  # and inspecting the package, launching the menu entry, the session bus and
  # the notification server of the tests, the logo's font
  desktop-file-utils appstream dpkg-dev file libglib2.0-bin
  dbus dbus-daemon python3-gi gir1.2-glib-2.0 fonts-dejavu-core
  # the manual pages rendered and checked (man, groff) and Debian's own
  # checker run on the package
  man-db groff-base lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
