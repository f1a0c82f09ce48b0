#!/usr/bin/env bash
# Installs the Debian packages Duplexa needs to build, run and test.
# Idempotent, and silent when everything is present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config python3
  libsdl2-dev libgl1-mesa-dev libglu1-mesa-dev libosmesa6-dev libgl1-mesa-dri
  libassimp-dev
  libgtest-dev googletest libbenchmark-dev libstb-dev
  clang libclang-rt-14-dev
  libfreetype-dev fonts-dejavu-core
  xvfb xdotool x11-utils imagemagick
  g++-mingw-w64-x86-64 wine wine64 zip
  dpkg-dev libz-mingw-w64-dev libutfcpp-dev
)
if [ "${1:-}" = "--run-only" ]; then
  packages=(build-essential cmake pkg-config libsdl2-dev libgl1-mesa-dev libglu1-mesa-dev
            libosmesa6-dev libgl1-mesa-dri libassimp-dev libgtest-dev libfreetype-dev python3)
fi

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
