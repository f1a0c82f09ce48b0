#!/usr/bin/env bash
# Fails, naming the files, when a tracked C++ file is not as .clang-format
# lays it out. Fix with: git ls-files '*.cpp' '*.h' | xargs clang-format -i
# Pinned to Debian 12's clang-format 14: another version may lay out
# differently.
set -euo pipefail
cd "$(dirname "$0")/.."
format=$(command -v clang-format-14 || command -v clang-format)
unformatted=()
while IFS= read -r -d '' file; do
    if ! "$format" --dry-run --Werror "$file" >/dev/null 2>&1; then
        unformatted+=("$file")
    fi
done < <(git ls-files -z '*.cpp' '*.h')
if [ ${#unformatted[@]} -gt 0 ]; then
    echo "not formatted by .clang-format (clang-format -i FILE...):" >&2
    printf '  %s\n' "${unformatted[@]}" >&2
    exit 1
fi
echo "all $(git ls-files '*.cpp' '*.h' | wc -l) C++ files formatted"
