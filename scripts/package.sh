#!/usr/bin/env bash
# Builds the release archives of all targets into dist/:
#   ramgauge-<version>-win32.zip, ramgauge-<version>-win64.zip,
#   ramgauge-<version>-linux-<arch>.tar.gz
# with stripped binaries, and beside each the debug information of its
# binaries (-debug.zip / -debug.tar.gz), so that crash reports stay readable.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/setup.sh
mkdir -p dist
rm -f dist/ramgauge-*

zip_dir() { python3 -m zipfile -c "$1.zip" "$2"; }
tgz_dir() { tar -czf "$1.tar.gz" "$2"; }

package() { # name, build dir, objcopy, archive command, cmake options...
    local name=$1 dir=$2 objcopy=$3 archive=$4
    shift 4
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" --target ramgauge ramgauge-profile rfc32 sapnwrfc >/dev/null
    (cd "$dir" && cpack -B "$root/dist" >/dev/null)
    rm -rf "$root/dist/_CPack_Packages"

    local debug="$dir/debug/$name"
    rm -rf "$dir/debug" && mkdir -p "$debug"
    for binary in "$dir"/bin/ramgauge* "$dir"/bin/librfc32* "$dir"/bin/*sapnwrfc*; do
        case $binary in *.a) continue ;; esac
        "$objcopy" --only-keep-debug "$binary" "$debug/$(basename "$binary").debug"
    done
    (cd "$dir/debug" && $archive "$root/dist/$name-debug" "$name" >/dev/null)
}

version=$(sed -n 's/^project(ramgauge VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(uname -m)
package "ramgauge-$version-win32" build/package-windows i686-w64-mingw32-objcopy \
    'zip_dir' -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
package "ramgauge-$version-win64" build/package-windows64 x86_64-w64-mingw32-objcopy \
    'zip_dir' -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
package "ramgauge-$version-linux-$arch" build/package-native objcopy 'tgz_dir'
ls -l dist/
