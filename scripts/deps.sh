#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Tavrok need, when any
# is missing.  Needs root (or sudo).  Safe to run again: it does nothing when all are there.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  libsdl2-dev libepoxy-dev                       # window, events, OpenGL loading
  libgl1-mesa-dri xvfb xdotool x11-utils xauth   # software OpenGL and a virtual screen
  libegl-mesa0                                   # EGL for SDL's offscreen windows (the input script test)
  imagemagick                                    # screenshots and their inspection
  xfonts-base                                    # X core fonts: the text of SDL's X11 message boxes
  libx11-dev                                     # the test helper that closes windows
  weston                                         # a Wayland desktop for the start-up question test
  libfreetype-dev libfontconfig-dev fonts-dejavu-core
  fonts-liberation                               # Liberation Sans Narrow: the narrow face in place of the script one
  zlib1g-dev libstb-dev libfcl-dev
  libgtest-dev libgmock-dev libbenchmark-dev libassimp-dev
  clang libclang-rt-14-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
