#!/usr/bin/env bash
# Builds the native and the Windows (mingw-w64 i686 and x86_64) trees
# through the presets of CMakePresets.json.
#   scripts/build.sh [native|windows|windows64|all] [extra cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
which=${1:-all}
shift || true

for preset in native windows windows64; do
    if [ "$which" = "$preset" ] || [ "$which" = all ]; then
        cmake --preset "$preset" "$@" >/dev/null
        cmake --build --preset "$preset"
    fi
done
