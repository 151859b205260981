#!/usr/bin/env bash
# Installs the Debian packages that building and testing need. Idempotent;
# runs as root (or through sudo) with no input.
set -euo pipefail

packages=(cmake ninja-build g++ googletest python3 python3-jsonschema procps clang libclang-rt-14-dev
          g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
          g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          wine wine32:i386 wine64)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Where the kernel starts no 32-bit programs (IA-32 emulation off), 32-bit
# Wine runs through qemu-user, which scripts/with-qemu-i386.sh registers in
# a namespace of its own. Wine needs qemu 10 or later; on Debian 12 that is
# the backports suite's, whose source is added for it (backports packages
# are installed only when asked for by suite). qemu-user-binfmt, which would
# register the emulator for the whole machine, is left out. When none can be
# had, the rest still runs, and scripts/test.sh says why the 32-bit suite
# does not.
said=$(wine --version 2>&1) || true
[[ $said == *"Exec format error"* ]] || exit 0
qemu_major() {
    qemu-i386 --version 2>/dev/null | sed -n '1s/^qemu-i386 version \([0-9]*\)\..*/\1/p'
}
[ "$(qemu_major)" -ge 10 ] 2>/dev/null && exit 0
install_qemu() {
    local codename mirror
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    if [ "$codename" != bookworm ]; then
        $sudo apt-get install -y -qq --no-install-recommends qemu-user >/dev/null
        return
    fi
    if ! apt-get indextargets --format '$(RELEASE)' | grep -qx bookworm-backports; then
        # The mirror the machine already uses for its release.
        mirror=$(apt-get indextargets --format '$(RELEASE) $(LABEL) $(REPO_URI)' |
                     awk '$1 == "bookworm" && $2 == "Debian" { print $3; exit }')
        [ -n "$mirror" ] || { echo "no Debian mirror for bookworm among the apt sources"; return 1; }
        printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: %s\n' \
            "$mirror" /usr/share/keyrings/debian-archive-keyring.gpg |
            $sudo tee /etc/apt/sources.list.d/bookworm-backports.sources >/dev/null
        $sudo apt-get update -qq
    fi
    $sudo apt-get install -y -qq --no-install-recommends -t bookworm-backports \
        qemu-user/bookworm-backports >/dev/null
}
install_qemu 2>&1 | tail -5 || true
if [ "$(qemu_major)" -ge 10 ] 2>/dev/null; then
    echo "setup: 32-bit programs run through $(qemu-i386 --version | head -1) (scripts/with-qemu-i386.sh)"
else
    echo "setup: no qemu-user 10 or later could be installed; the 32-bit Windows suite cannot run here"
fi
