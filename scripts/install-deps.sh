#!/usr/bin/env bash
# Installs the Debian packages Duplexa needs to build, run and test.
#   scripts/install-deps.sh             everything (make test)
#   scripts/install-deps.sh --run-only  what the viewer needs (make run)
# Idempotent, and silent when everything is present.
set -euo pipefail

# What the viewer needs to build and run (make run): the compiler, CMake,
# SDL2, GL, GLU and EGL, the model importer and meshoptimizer, the command-line parser, the PNG
# writer and zlib, and the X core fonts that SDL's message boxes draw with.
viewer=(
  build-essential cmake pkg-config
  libsdl2-dev libgl1-mesa-dev libglu1-mesa-dev libgl1-mesa-dri libegl-dev
  libassimp-dev libmeshoptimizer-dev libcli11-dev libstb-dev zlib1g-dev xfonts-base
)
# Everything (make test): the viewer's packages, then what the tests,
# benchmarks, tools and the Windows build use.
packages=(
  "${viewer[@]}"
  python3 libosmesa6-dev libgtest-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev clang-format-14
  libfreetype-dev fonts-dejavu-core
  xvfb xdotool x11-utils imagemagick
  g++-mingw-w64-x86-64 libz-mingw-w64-dev libutfcpp-dev wine wine64 zip dpkg-dev
)
[ "${1:-}" = "--run-only" ] && packages=("${viewer[@]}")

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# The Windows build compiles Assimp from Debian's own source package
# (scripts/build-assimp-win.sh), which apt-get source fetches only with a
# source entry in the package lists.
src_list=/etc/apt/sources.list.d/duplexa-src.sources
need_update=0
if [ "${1:-}" != "--run-only" ] && [ ! -f "$src_list" ]; then
  printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm' \
    'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' | $sudo tee "$src_list" >/dev/null
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  [ "$need_update" -eq 0 ] || $sudo apt-get update -qq
  exit 0
fi

echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
