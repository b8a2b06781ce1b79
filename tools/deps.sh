#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and real phones need;
# skips what is already there, so a second run installs nothing and touches no
# network. Every name is a real Debian 12 package (not a name another package
# merely provides), since dpkg-query never reports a provided name as installed.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
  qt6-svg-dev libgl-dev
  # Qt's readers of TIFF and WebP (and other) pictures, so such a photo in a
  # contact file is read and stored as PNG
  qt6-image-formats-plugins
  # the photo check reads a PNG's CRCs and the head of gzip data with it; the
  # tests write compressed and large pictures with it
  zlib1g-dev
  libsqlite3-dev libssl-dev
  libplist-dev libimobiledevice-dev libusbmuxd-dev libusb-1.0-0-dev
  # libimobiledevice only recommends the daemon that finds plugged iPhones
  usbmuxd
  # udev rules that let a user's programs open Android phones over USB
  android-sdk-platform-tools-common
  python3 python3-vobject
  # a private bus for the screen saver inhibition test
  dbus-daemon
  xdg-utils poppler-utils cloc
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
  for p in "${missing[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      echo "Package $p is still not installed; install it by hand and run again." >&2
      exit 1
    fi
  done
fi
