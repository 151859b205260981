#!/usr/bin/env bash
# Builds the release archives of both targets into dist/:
#   ramgauge-<version>-win32.zip, ramgauge-<version>-linux-<arch>.tar.gz
# with stripped binaries, beside each the debug information of its binaries
# (-debug.zip / -debug.tar.gz), so that crash reports stay readable, and
# SHA256SUMS of all four. The archives are reproducible: the same commit
# gives the same bytes wherever it is built, every time stamp being the
# commit's (SOURCE_DATE_EPOCH, when set, instead).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/setup.sh
mkdir -p dist
rm -f dist/ramgauge-* dist/SHA256SUMS
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}

package() { # name, build dir, objcopy, archive extension, cmake options...
    local name=$1 dir=$2 objcopy=$3 extension=$4
    shift 4
    # The programs alone: no GoogleTest, the archive's layout.
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
        -DRAMGAUGE_ARCHIVE_LAYOUT=ON "$@" >/dev/null
    cmake --build "$dir" --target ramgauge ramgauge-profile rfc32 >/dev/null
    rm -rf "$dir/stage" && mkdir -p "$dir/stage"
    # strip and objcopy stamp a PE file with SOURCE_DATE_EPOCH (else the
    # time of day); 0 leaves it without a time stamp, as the linker does.
    SOURCE_DATE_EPOCH=0 cmake --install "$dir" --prefix "$dir/stage/$name" --strip >/dev/null
    python3 scripts/archive.py "$root/dist/$name.$extension" "$dir/stage/$name" "$epoch"

    local debug="$dir/debug/$name-debug"
    rm -rf "$dir/debug" && mkdir -p "$debug"
    for binary in "$dir"/bin/ramgauge* "$dir"/bin/librfc32*; do
        case $binary in *.a) continue ;; esac
        SOURCE_DATE_EPOCH=0 "$objcopy" --only-keep-debug "$binary" \
            "$debug/$(basename "$binary").debug"
    done
    python3 scripts/archive.py "$root/dist/$name-debug.$extension" "$debug" "$epoch"
}

version=$(sed -n 's/^project(ramgauge VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(uname -m)
package "ramgauge-$version-win32" build/package-windows i686-w64-mingw32-objcopy zip \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
package "ramgauge-$version-linux-$arch" build/package-native objcopy tar.gz
(cd dist && sha256sum ramgauge-* >SHA256SUMS)
ls -l dist/
