#!/usr/bin/env bash
# Cross-builds Assimp for the Windows program (mingw-w64, static, only the
# importers we ship: OBJ, STL, PLY, glTF) from Debian's own source package,
# once: the result is cached outside the work tree, keyed by the versions,
# the options, the compiler and the recipe number below, and later runs
# reuse it. Raise the recipe number when a change here changes the result.
# Prints the install prefix on its last line.
#   scripts/build-assimp-win.sh            (cache: ${DUPLEXA_CACHE:-~/.cache/duplexa})
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

recipe=1
version=5.2.5
debian_version="5.2.5~ds0-1"
minizip_version="1.1-8+deb12u1"
jobs=${JOBS:-2}
# The thread model must be the program's (cmake/mingw-w64-x86_64.cmake
# prefers -posix): the static library's C++ run time is linked into it.
cc=$(command -v x86_64-w64-mingw32-gcc-posix || command -v x86_64-w64-mingw32-gcc)
cxx=$(command -v x86_64-w64-mingw32-g++-posix || command -v x86_64-w64-mingw32-g++)
mingw_root=/usr/x86_64-w64-mingw32

options=(
  -DBUILD_SHARED_LIBS=OFF
  -DASSIMP_BUILD_ALL_IMPORTERS_BY_DEFAULT=OFF
  -DASSIMP_BUILD_OBJ_IMPORTER=ON -DASSIMP_BUILD_STL_IMPORTER=ON
  -DASSIMP_BUILD_PLY_IMPORTER=ON -DASSIMP_BUILD_GLTF_IMPORTER=ON
  -DASSIMP_NO_EXPORT=ON -DASSIMP_BUILD_TESTS=OFF -DASSIMP_BUILD_ASSIMP_TOOLS=OFF
  -DASSIMP_BUILD_SAMPLES=OFF -DASSIMP_BUILD_DOCS=OFF -DASSIMP_BUILD_ZLIB=OFF
  -DASSIMP_BUILD_DRACO=OFF -DASSIMP_WARNINGS_AS_ERRORS=OFF -DASSIMP_INJECT_DEBUG_POSTFIX=OFF
  -DCMAKE_BUILD_TYPE=Release
)

# shellcheck source=scripts/cross-cache.sh
. "$here/scripts/cross-cache.sh"
cache_or_lock assimp "$version" "$(echo "$recipe $debian_version $minizip_version"; echo "${options[*]}"
                                   "$cxx" --version | head -n 1)"
mkdir -p "$prefix/include" "$prefix/lib/pkgconfig"

# Debian's source packages, from the same registry as every other package
# (scripts/install-deps.sh enables the source list).
(cd "$work" && apt-get source --download-only "assimp=$debian_version" "minizip=$minizip_version" >/dev/null 2>&1) || {
  echo "apt-get source failed: is the deb-src entry of scripts/install-deps.sh in place?" >&2
  exit 1
}
# apt-get has checked the files against the signed package lists; dpkg-source
# only lacks the uploaders' keys to say so again.
(cd "$work" && dpkg-source --skip-patches -x assimp_*.dsc assimp >/dev/null 2>&1 && dpkg-source -x minizip_*.dsc minizip >/dev/null 2>&1)
# Debian took utf8cpp and stb out of the tarball; its own patches point the
# sources at the system's copies. Draco is left out altogether.
for patch in use-system-utf8cpp.patch use-system-stb_image.patch; do
  (cd "$work/assimp" && patch -p1 -s <"debian/patches/$patch")
done

# Assimp always compiles its zip reader, which needs minizip's unzip.
for source in ioapi unzip; do
  "$cc" -O2 -I"$work/minizip" -c "$work/minizip/$source.c" -o "$work/$source.o"
done
x86_64-w64-mingw32-ar rcs "$prefix/lib/libminizip.a" "$work/ioapi.o" "$work/unzip.o"
cp "$work/minizip/unzip.h" "$work/minizip/ioapi.h" "$prefix/include/"
cat >"$prefix/lib/pkgconfig/minizip.pc" <<EOF
prefix=$prefix
Name: minizip
Description: minizip's unzip, built for mingw-w64
Version: 1.1
Requires: zlib
Libs: -L\${prefix}/lib -lminizip
Cflags: -I\${prefix}/include
EOF

# Only the header-only libraries the sources name, not all of /usr/include.
mkdir -p "$work/system-headers"
ln -s /usr/include/stb "$work/system-headers/stb"
ln -s /usr/include/utf8cpp/utf8.h "$work/system-headers/utf8.h"
ln -s /usr/include/utf8cpp/utf8 "$work/system-headers/utf8"

# The host's pkg-config files (its minizip among them) must stay unseen.
PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig:$mingw_root/lib/pkgconfig" PKG_CONFIG_PATH="" \
cmake -S "$work/assimp" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_FIND_ROOT_PATH="$mingw_root;$prefix" \
  -DCMAKE_C_FLAGS="-isystem $work/system-headers" -DCMAKE_CXX_FLAGS="-isystem $work/system-headers" \
  -DZLIB_LIBRARY="$mingw_root/lib/libz.a" -DZLIB_INCLUDE_DIR="$mingw_root/include" \
  "${options[@]}" >"$work/configure.log" 2>&1 || { tail -n 30 "$work/configure.log" >&2; exit 1; }
cmake --build "$work/build" -j "$jobs" >"$work/build.log" 2>&1 || { grep -E "error|Error" "$work/build.log" | head -n 30 >&2; exit 1; }
cmake --install "$work/build" >/dev/null
cp "$work/assimp/LICENSE" "$prefix/LICENSE-assimp.txt"
touch "$prefix/.complete"
echo "$prefix"
