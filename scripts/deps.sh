#!/usr/bin/env bash
# Installs, with apt, whatever the build, the tests and the program need and
# the machine lacks. Does nothing when everything is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config dpkg-dev build-essential debhelper lintian
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libxcb1-dev libxcb-shape0-dev libxcb-composite0-dev libx11-dev
  xvfb xauth xdotool x11-utils imagemagick picom xscreensaver xss-lock x11-xserver-utils openbox xclip procps
  fonts-comic-neue
  libpam0g-dev libpam-wrapper passwd util-linux
  mate-screensaver dbus-daemon libglib2.0-bin dconf-gsettings-backend
  libwayland-dev libwayland-bin wayland-protocols qt6-wayland sway swayidle grim wtype
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
