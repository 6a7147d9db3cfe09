#!/bin/sh
# Prints which Windows tier this machine tests, as one word: i686 (the shipped
# setup32.exe, run by Wine's 32-bit loader) or x86_64 (an x86_64 build of the
# same sources, run by Wine's 64-bit loader in 64-bit prefixes, for machines
# that cannot run 32-bit programs). YELK_WINDOWS_TIER=i686|x86_64 forces the
# choice; otherwise the 32-bit loader is started once, and where it does not
# run (a kernel with 32-bit emulation off: "Exec format error") the tier is
# x86_64. Says why on stderr. Called by test.sh, run.sh and .ci/run.
set -u
LOADER32=/usr/lib/wine/wine

case "${YELK_WINDOWS_TIER:-}" in
i686 | x86_64)
    echo "windows-tier.sh: YELK_WINDOWS_TIER=$YELK_WINDOWS_TIER" >&2
    echo "$YELK_WINDOWS_TIER"
    exit 0
    ;;
"") ;;
*)
    echo "windows-tier.sh: YELK_WINDOWS_TIER is '$YELK_WINDOWS_TIER', not i686 or x86_64" >&2
    exit 64
    ;;
esac

if [ ! -x "$LOADER32" ]; then
    echo "windows-tier.sh: no 32-bit Wine loader ($LOADER32; wine32:i386 is not installed): the x86_64 tier" >&2
    echo x86_64
elif out=$("$LOADER32" --version 2>&1); then
    echo i686
else
    out=$(echo "$out" | tail -1)
    echo "windows-tier.sh: this machine cannot run 32-bit programs ($LOADER32: ${out##*: }): the x86_64 tier" >&2
    echo x86_64
fi
