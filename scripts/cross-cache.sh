# Sourced by the scripts that cross-build a library for the Windows program
# once and cache it outside the work tree (scripts/build-*-win.sh).
#   cache_or_lock NAME VERSION KEY_TEXT
# sets $prefix to "$cache/NAME-mingw-VERSION-<hash of KEY_TEXT>"; where that
# build is complete it prints the prefix and ends the script. Otherwise it
# holds the library's lock (a second caller waits, then finds it done),
# makes $work, a scratch folder removed at exit, and an empty $prefix.
cache_or_lock() {
  local name=$1 version=$2 key
  key=$(printf '%s\n' "$3" | sha256sum | cut -c1-12)
  cache=${DUPLEXA_CACHE:-$HOME/.cache/duplexa}
  prefix="$cache/$name-mingw-$version-$key"
  if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
  fi
  mkdir -p "$cache"
  exec 9>"$cache/$name-mingw.lock"
  flock 9
  if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
  fi
  echo "Building $name $version for Windows once (cached in $prefix)" >&2
  work=$(mktemp -d "$cache/$name-build.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  rm -rf "$prefix"
  mkdir -p "$prefix"
}
