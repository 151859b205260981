#!/usr/bin/env bash
# Builds the native and the Windows (mingw-w64 i686 and x86_64) trees.
#   scripts/build.sh [native|windows|windows64|all] [extra cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
which=${1:-all}
shift || true

if [ "$which" = native ] || [ "$which" = all ]; then
    cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build build/native
fi
if [ "$which" = windows ] || [ "$which" = all ]; then
    cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake "$@" >/dev/null
    cmake --build build/windows
fi
if [ "$which" = windows64 ] || [ "$which" = all ]; then
    cmake -S . -B build/windows64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake "$@" >/dev/null
    cmake --build build/windows64
fi
