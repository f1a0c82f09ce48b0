#!/usr/bin/env bash
# The README's pictures of the scene, rendered with --render: no display, no
# window, the same bytes on every run on one machine. (The two pictures of the
# overlay come from a window: scripts/overlay-screenshots.py.)
#   bash scripts/screenshots.sh [path-to-duplexa]
set -euo pipefail
cd "$(dirname "$0")/.."
duplexa=${1:-build/duplexa}
mkdir -p docs
shoot() {
    local name=$1
    shift
    env -u DISPLAY -u WAYLAND_DISPLAY "$duplexa" --render "docs/$name.png" "$@"
    echo "wrote docs/$name.png"
}
shoot anaglyph
shoot side-by-side --mode side-by-side
shoot model data/models/torus_knot.obj
shoot model-shaded --shaded data/models/torus_knot.obj
