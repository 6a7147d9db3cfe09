#!/bin/sh
# Installs what building, running and testing setup32 needs on Debian 12, as
# root; does nothing when every package is there already. Called by run.sh and
# test.sh.
#
# On a machine that cannot run 32-bit programs but gives a user namespace a
# binfmt_misc of its own (scripts/windows-tier.sh: the i686-qemu tier), or
# when YELK_WINDOWS_TIER=i686-qemu asks for that tier, it also installs
# qemu-user 8.1 or later (bookworm-backports' 10.x, from the mirror this
# machine already uses), which runs the shipped 32-bit installer there.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)

PACKAGES="
    cmake make g++ python3 util-linux
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix
    wine wine32:i386 wine64 fonts-wine xvfb xdotool imagemagick
    osslsigncode openssl
    googletest libgtest-dev libbenchmark-dev
    clang libclang-rt-14-dev valgrind lhasa
"

say() { echo "deps.sh: $*" >&2; }
as_root() {
    if [ "$(id -u)" -ne 0 ]; then
        say "run as root to install them"
        exit 1
    fi
}

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing="$missing $p"
    fi
done
if [ -n "$missing" ]; then
    say "installing$missing"
    as_root
    # Wine's 32-bit half comes from the i386 architecture.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y $missing
fi

# ---- qemu-i386 for machines that cannot run 32-bit programs ----

ns=$root/scripts/i386-namespace.sh
case "${YELK_WINDOWS_TIER:-}" in
i686-qemu) ;;
i686 | x86_64) exit 0 ;;
*)
    # 32-bit programs run here (Wine's own 32-bit loader starts): nothing more.
    /usr/lib/wine/wine --version >/dev/null 2>&1 && exit 0
    # A kernel before 6.7 gives no namespace a binfmt_misc of its own; the
    # emulator would have to be registered for the whole machine, which the
    # tests never do: the x86_64 tier it is.
    if ! "$ns" can-mount; then
        say "this machine cannot run 32-bit programs, nor register qemu-i386 in a namespace of its own (Linux 6.7 or later): no qemu"
        exit 0
    fi
    ;;
esac
"$ns" emulator >/dev/null 2>&1 && exit 0

say "installing qemu-user from bookworm-backports (qemu-i386 8.1 or later runs the 32-bit installer here)"
as_root
# bookworm-backports from the Debian mirror this machine's bookworm comes
# from: the URIs of a deb822 stanza whose suites include bookworm, else a
# one-line "deb" entry for bookworm.
if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    mirror=$(awk '
        FNR == 1 || /^[[:space:]]*$/ { if (suite && uri) { print uri; found = 1; exit } suite = 0; uri = "" }
        /^URIs:/ { uri = $2 }
        /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == "bookworm") suite = 1 }
        END { if (!found && suite && uri) print uri }' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1)
    if [ -z "$mirror" ]; then
        mirror=$(sed -e 's/\[[^]]*\]//' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
            awk '$1 == "deb" && $3 == "bookworm" { print $2; exit }')
    fi
    if [ -z "$mirror" ]; then
        say "no Debian mirror for bookworm in this machine's apt sources; add bookworm-backports by hand"
        exit 1
    fi
    echo "deb $mirror bookworm-backports main" >/etc/apt/sources.list.d/bookworm-backports.list
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update
# Without recommends: qemu-user-binfmt would register the emulators for the
# whole machine. qemu-user 10 replaces bookworm's qemu-user-static 7.2.
apt-get install -y --no-install-recommends -t bookworm-backports qemu-user
if ! v=$("$ns" emulator); then
    say "qemu-i386 is ${v:-missing} after the install; 8.1 or later is needed"
    exit 1
fi
say "qemu-i386 $v"
