#!/bin/sh
# Runs 32-bit (i386) Linux programs, Wine's 32-bit loader and everything it
# starts, under qemu-i386 on a machine whose kernel cannot run them itself
# (32-bit emulation off: "Exec format error"). The emulator is registered for
# i386 ELF files in a binfmt_misc instance of a private user and mount
# namespace, never for the whole machine: outside the namespace nothing
# changes (a 64-bit program's 32-bit helper keeps failing as before instead of
# silently running under qemu).
#
#   i386-namespace.sh run CMD [ARGS]  runs CMD in such a namespace; every i386
#                                     ELF it or its children start goes
#                                     through qemu-i386
#   i386-namespace.sh can-mount       exit 0 when this kernel gives a new user
#                                     namespace a binfmt_misc of its own
#                                     (Linux 6.7 and later)
#   i386-namespace.sh emulator        prints the emulator's version; exit 0
#                                     when it is qemu-i386 8.1 or later
#
# YELK_QEMU_I386 names the emulator (default /usr/bin/qemu-i386: Debian's
# qemu-user 10 from bookworm-backports, a static binary). Older ones, such as
# bookworm's own 7.2, take MAP_FIXED_NOREPLACE as a hint; Wine's address
# reservations then land in the wrong places and wineboot fails ("failed to
# map the shared user data: c0000018").
set -eu
QEMU_I386=${YELK_QEMU_I386:-/usr/bin/qemu-i386}
BINFMT=/proc/sys/fs/binfmt_misc
self=$(readlink -f "$0")

# i386 ELF executables and shared objects (32-bit class, little-endian,
# e_type 2 or 3, e_machine 3): the mask leaves out the low bit of the data
# and version bytes and of e_type, and the whole ABI byte. Flag F: the kernel
# opens the emulator now, so it is found whatever the program's root or
# mount namespace.
MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

emulator_version() {
    [ -x "$QEMU_I386" ] || { echo "no $QEMU_I386" >&2; return 1; }
    v=$("$QEMU_I386" --version 2>/dev/null | sed -n '1s/.*version \([0-9][0-9]*\)\.\([0-9][0-9]*\).*/\1 \2/p')
    [ -n "$v" ] || { echo "$QEMU_I386 gives no version" >&2; return 1; }
    set -- $v
    echo "$1.$2"
    [ "$1" -gt 8 ] || { [ "$1" -eq 8 ] && [ "$2" -ge 1 ]; }
}

case "${1:-}" in
run)
    shift
    [ $# -gt 0 ] || { echo "usage: i386-namespace.sh run CMD [ARGS]" >&2; exit 64; }
    if ! v=$(emulator_version); then
        echo "i386-namespace.sh: $QEMU_I386 ${v:-is missing}; qemu-i386 8.1 or later is needed (scripts/deps.sh installs it)" >&2
        exit 1
    fi
    # A new user namespace owning a new mount namespace gets a binfmt_misc
    # instance of its own once one is mounted inside it.
    exec unshare --user --map-root-user --mount --fork "$self" __inside "$@"
    ;;
__inside)
    shift
    mount -t binfmt_misc binfmt_misc "$BINFMT"
    printf ':qemu-i386:M::%s:%s:%s:F\n' "$MAGIC" "$MASK" "$QEMU_I386" >"$BINFMT/register"
    exec "$@"
    ;;
can-mount)
    unshare --user --map-root-user --mount sh -c "mount -t binfmt_misc binfmt_misc $BINFMT" 2>/dev/null
    ;;
emulator)
    emulator_version
    ;;
*)
    sed -n '2,26p' "$self" >&2
    exit 64
    ;;
esac
