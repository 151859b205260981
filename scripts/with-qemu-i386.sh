#!/usr/bin/env bash
# Runs COMMAND where 32-bit x86 programs start through qemu-user, for a
# machine whose kernel starts none itself (IA-32 emulation off: an i386 ELF
# gives "Exec format error", and with it Wine's 32-bit loader):
#
#   scripts/with-qemu-i386.sh COMMAND [ARGS...]
#
# COMMAND runs in a user and mount namespace of its own, as the same user
# (root stays root), in which qemu-i386 is registered for i386 ELF programs
# in a binfmt_misc instance of that namespace alone (Linux 6.7 or later).
# Nothing is registered or mounted for the rest of the machine, and the
# registration ends with the last process of the namespace. Files, /tmp,
# /proc and the network are the machine's own, so a wineserver started
# outside serves the 32-bit Wine programs started inside, and the other way
# round.
#
# qemu-user 10 or later is needed (on Debian 12 from bookworm-backports,
# which scripts/setup.sh installs on such a machine): older ones ignore
# MAP_FIXED_NOREPLACE, and 32-bit Wine then takes about 50 s of CPU for
# every process instead of about 0.3 s.
#
# Exit code: COMMAND's, or 125 with the reason on stderr when the emulation
# cannot be set up.
set -euo pipefail

cannot() {
    echo "with-qemu-i386: $*" >&2
    exit 125
}

[ $# -gt 0 ] || cannot "usage: with-qemu-i386.sh COMMAND [ARGS...]"

# qemu's own binfmt entry for i386: its magic and mask, flags with F, which
# opens the emulator when it is registered, so that it is found whatever
# the namespace's view of the files later.
entry=/usr/share/qemu/binfmt.d/qemu-i386.conf
command -v qemu-i386 >/dev/null ||
    cannot "no qemu-i386 (qemu-user 10 or later; scripts/setup.sh installs it from bookworm-backports)"
said=$(qemu-i386 --version | head -1)
major=$(sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p' <<<"$said")
[ -n "$major" ] && [ "$major" -ge 10 ] ||
    cannot "$said is too old for Wine (before 10 it ignores MAP_FIXED_NOREPLACE; qemu-user from bookworm-backports)"
[ -r "$entry" ] || cannot "no $entry (qemu-user 10 or later ships it)"
grep -q '^:qemu-i386:M:.*:[A-Z]*F[A-Z]*$' "$entry" || cannot "$entry has no flag F: $(cat "$entry")"

# The namespace's own binfmt_misc, mounted over the machine's in the private
# mount namespace. $1 is the entry; $2, when not empty, a FIFO that says
# when the namespace's users are mapped.
inside='if [ -n "$2" ]; then
    read -r mapped <"$2"
    rm -f "$2"
    [ "$mapped" = mapped ] || {
        echo "with-qemu-i386: the users of the namespace could not be mapped" >&2
        exit 125
    }
fi
mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || {
    echo "with-qemu-i386: no binfmt_misc of its own in a user namespace (Linux 6.7 or later; this is $(uname -r))" >&2
    exit 125
}
cat "$1" >/proc/sys/fs/binfmt_misc/register || {
    echo "with-qemu-i386: the binfmt_misc of the namespace refused $1" >&2
    exit 125
}
shift 2
exec "$@"'
said=$(unshare --user --map-root-user --mount true 2>&1) ||
    cannot "no user and mount namespace of its own: $said"
if [ "$(id -u)" -ne 0 ]; then
    exec unshare --user --map-root-user --mount sh -c "$inside" with-qemu-i386 "$entry" "" "$@"
fi
# As root every user and group is mapped to itself, so that root inside
# can still hand files to other users (as the tests that play another local
# user do). Only a process outside may write such a map: a helper, detached
# from the command, writes it once this process has entered the namespace.
fifo=$(mktemp -u /tmp/with-qemu-i386.XXXXXX)
mkfifo -m 600 "$fifo"
outside=$(readlink /proc/$$/ns/user)
( (
    for _ in $(seq 1 1000); do
        [ "$(readlink /proc/$$/ns/user)" = "$outside" ] || break
        sleep 0.01
    done
    if [ "$(readlink /proc/$$/ns/user)" = "$outside" ]; then
        rm -f "$fifo"
    elif echo "0 0 4294967295" >/proc/$$/uid_map && echo "0 0 4294967295" >/proc/$$/gid_map; then
        echo mapped >"$fifo"
    else
        echo failed >"$fifo"
    fi
) </dev/null >/dev/null 2>&1 & )
exec unshare --user --mount sh -c "$inside" with-qemu-i386 "$entry" "$fifo" "$@"
