#!/usr/bin/env bash
# Builds the release archives of the three targets into dist/:
#   ramgauge-<version>-win32.zip, ramgauge-<version>-win64.zip,
#   ramgauge-<version>-linux-<arch>.tar.gz
# with stripped binaries, beside each the debug information of its binaries
# (-debug.zip / -debug.tar.gz), so that crash reports stay readable, and
# SHA256SUMS of all six. Each name is the one its configured tree gives
# (package_name.txt: the version, and the platform by the binaries' pointer
# size). The archives are reproducible: the same commit gives the same bytes
# wherever it is built, every time stamp being the commit's
# (SOURCE_DATE_EPOCH, when set, instead).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/setup.sh
mkdir -p dist
rm -f dist/ramgauge-* dist/SHA256SUMS
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}

package() { # build dir, archive extension, cmake options...
    local dir=$1 extension=$2
    shift 2
    # The programs alone: no GoogleTest, the archive's layout.
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
        -DRAMGAUGE_ARCHIVE_LAYOUT=ON "$@" >/dev/null
    cmake --build "$dir" --target ramgauge ramgauge-profile librfc32 nwrfc >/dev/null
    # The name and the binary tools are the configured tree's.
    local name objcopy
    name=$(cat "$dir/package_name.txt")
    objcopy=$(sed -n 's/^CMAKE_OBJCOPY:FILEPATH=//p' "$dir/CMakeCache.txt")
    rm -rf "$dir/stage" && mkdir -p "$dir/stage"
    # strip and objcopy stamp a PE file with SOURCE_DATE_EPOCH (else the
    # time of day); 0 leaves it without a time stamp, as the linker does.
    SOURCE_DATE_EPOCH=0 cmake --install "$dir" --prefix "$dir/stage/$name" --strip >/dev/null
    python3 scripts/archive.py "$root/dist/$name.$extension" "$dir/stage/$name" "$epoch"

    local debug="$dir/debug/$name-debug"
    rm -rf "$dir/debug" && mkdir -p "$debug"
    for binary in "$dir"/bin/ramgauge* "$dir"/bin/librfc32* "$dir"/bin/*sapnwrfc*; do
        case $binary in *.a) continue ;; esac
        SOURCE_DATE_EPOCH=0 "$objcopy" --only-keep-debug "$binary" \
            "$debug/$(basename "$binary").debug"
    done
    python3 scripts/archive.py "$root/dist/$name-debug.$extension" "$debug" "$epoch"
}

package build/package-windows zip -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
package build/package-windows64 zip -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
package build/package-native tar.gz
(cd dist && sha256sum ramgauge-* >SHA256SUMS)
ls -l dist/
