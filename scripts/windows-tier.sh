#!/bin/sh
# Prints which Windows tier this machine tests, as one word, the first that
# works of:
#   i686       the shipped setup32.exe, run by Wine's 32-bit loader;
#   i686-qemu  the same file and loader on a kernel that cannot run 32-bit
#              programs (32-bit emulation off: "Exec format error"), every
#              i386 program run by qemu-i386 registered in a private
#              namespace (scripts/i386-namespace.sh: Linux 6.7 or later,
#              qemu-i386 8.1 or later);
#   x86_64     an x86_64 build of the same sources, run by Wine's 64-bit
#              loader in 64-bit prefixes, where neither runs.
# YELK_WINDOWS_TIER=i686|i686-qemu|x86_64 forces the choice. Says why on
# stderr. Called by test.sh, run.sh and .ci/run.
set -u
LOADER32=/usr/lib/wine/wine
ns=$(cd "$(dirname "$0")" && pwd)/i386-namespace.sh
say() { echo "windows-tier.sh: $*" >&2; }

case "${YELK_WINDOWS_TIER:-}" in
i686 | i686-qemu | x86_64)
    say "YELK_WINDOWS_TIER=$YELK_WINDOWS_TIER"
    echo "$YELK_WINDOWS_TIER"
    exit 0
    ;;
"") ;;
*)
    say "YELK_WINDOWS_TIER is '$YELK_WINDOWS_TIER', not i686, i686-qemu or x86_64"
    exit 64
    ;;
esac

if [ ! -x "$LOADER32" ]; then
    say "no 32-bit Wine loader ($LOADER32; wine32:i386 is not installed): the x86_64 tier"
    echo x86_64
    exit 0
fi
if out=$("$LOADER32" --version 2>&1); then
    echo i686
    exit 0
fi
out=$(echo "$out" | tail -1)
why="this machine cannot run 32-bit programs ($LOADER32: ${out##*: })"
if ! "$ns" can-mount; then
    say "$why, and gives no namespace a binfmt_misc of its own (Linux 6.7 or later): the x86_64 tier"
    echo x86_64
elif ! v=$("$ns" emulator 2>&1); then
    say "$why, and qemu-i386 8.1 or later is missing (${v:-none}; scripts/deps.sh installs it): the x86_64 tier"
    echo x86_64
elif ! out=$("$ns" run "$LOADER32" --version 2>&1); then
    say "$why, and under qemu-i386 $v it does not start either ($(echo "$out" | tail -1)): the x86_64 tier"
    echo x86_64
else
    say "$why: under qemu-i386 $v in a namespace of its own"
    echo i686-qemu
fi
