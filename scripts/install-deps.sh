#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs, only those missing.
# Runs 'apt-get update' once, and only when something has to be installed.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git dpkg-dev file binutils
  qtbase5-dev qttools5-dev qttools5-dev-tools libqt5opengl5-dev
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libqt6opengl6-dev libgl-dev
  qt6-qpa-plugins
  libyuv-dev libturbojpeg0-dev libjpeg62-turbo-dev
  libsdl2-dev libavcodec-dev libavutil-dev libv4l-dev linux-libc-dev
  libgtest-dev libbenchmark-dev
  xvfb xauth xcompmgr x11-utils xdotool libxtst-dev libgl1-mesa-dri
  weston qtwayland5 qt6-wayland
  imagemagick fonts-dejavu-core fonts-wqy-microhei
  clang libjpeg-turbo-progs ccache
  libpipewire-0.3-dev pipewire pipewire-bin wireplumber dbus-daemon
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}" >&2
  echo "install-deps: run as root (or install them) to continue" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
