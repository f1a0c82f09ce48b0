#!/usr/bin/env bash
# Installs the Debian packages Duplexa needs to build, run and test.
# Idempotent, and silent when everything is present.
set -euo pipefail

# What the viewer needs to build and run (make run): the compiler, CMake,
# SDL2, GL and GLU, the command-line parser, and the X core fonts that SDL's
# message boxes draw with.
viewer=(
  build-essential cmake pkg-config
  libsdl2-dev libgl1-mesa-dev libglu1-mesa-dev libgl1-mesa-dri
  libegl-dev libcli11-dev libstb-dev zlib1g-dev xfonts-base
)
# Everything else the tests, benchmarks, tools and the Windows build use (make test).
everything=(
  "${viewer[@]}" python3
  libosmesa6-dev libgtest-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  libfreetype-dev fonts-dejavu-core
  xvfb xdotool x11-utils imagemagick
  g++-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64 zip dpkg-dev
)
if [ "${1:-}" = "--run-only" ]; then
  packages=("${viewer[@]}")
else
  packages=("${everything[@]}")
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
