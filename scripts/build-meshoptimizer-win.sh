#!/usr/bin/env bash
# Cross-builds meshoptimizer for the Windows program (mingw-w64, static) from
# Debian's own source package, once: the result is cached outside the work
# tree, keyed by the version, the compiler and the recipe number below, and
# later runs reuse it. Raise the recipe number when a change here changes
# the result. Prints the install prefix on its last line.
#   scripts/build-meshoptimizer-win.sh     (cache: ${DUPLEXA_CACHE:-~/.cache/duplexa})
set -euo pipefail

recipe=1
version=0.18
debian_version="0.18+dfsg-2"
# The thread model must be the program's, as for Assimp.
cxx=$(command -v x86_64-w64-mingw32-g++-posix || command -v x86_64-w64-mingw32-g++)
flags="-O2 -DNDEBUG"

# shellcheck source=scripts/cross-cache.sh
. "$(cd "$(dirname "$0")" && pwd)/cross-cache.sh"
cache_or_lock meshoptimizer "$version" "$(echo "$recipe $debian_version $flags"; "$cxx" --version | head -n 1)"
mkdir -p "$prefix/include" "$prefix/lib"

# From the same registry as every other package (scripts/install-deps.sh
# enables the source list).
(cd "$work" && apt-get source --download-only "meshoptimizer=$debian_version" >/dev/null 2>&1) || {
  echo "apt-get source failed: is the deb-src entry of scripts/install-deps.sh in place?" >&2
  exit 1
}
# apt-get has checked the files against the signed package lists.
(cd "$work" && dpkg-source -x meshoptimizer_*.dsc meshoptimizer >/dev/null 2>&1)

# The library is a handful of C++ files without dependencies.
objects=()
for source in "$work"/meshoptimizer/src/*.cpp; do
  object="$work/$(basename "$source" .cpp).o"
  "$cxx" $flags -c "$source" -o "$object"
  objects+=("$object")
done
x86_64-w64-mingw32-ar rcs "$prefix/lib/libmeshoptimizer.a" "${objects[@]}"
cp "$work/meshoptimizer/src/meshoptimizer.h" "$prefix/include/"
cp "$work/meshoptimizer/LICENSE.md" "$prefix/LICENSE-meshoptimizer.txt"
touch "$prefix/.complete"
echo "$prefix"
