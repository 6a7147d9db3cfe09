#!/bin/sh
# Checks that setup32.exe builds reproducibly: builds the installer twice from
# the same sources and client files, in two temporary build folders and from
# two places of the source tree, at different times, under different time
# zones, locales and umasks, and compares the two files byte for byte. Both
# must carry the source's time as their PE time stamp ($SOURCE_DATE_EPOCH, or
# the last commit's time) and a valid PE checksum. Prints the SHA-256 of the
# installer; exits non-zero when anything differs.
#
#   scripts/reproducible.sh [--packer YELKPACK] [--payload CLIENT_DIR] [--keep DIR]
#
# --packer  a native yelkpack to use for both builds (default: the first build
#           makes one, which the second reuses)
# --payload the client folder (default: samples/client)
# --keep    leave the two build folders and the source copy in DIR
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
packer=
payload=$src/samples/client
keep=
while [ $# -gt 0 ]; do
    case $1 in
    --packer) packer=$2; shift 2 ;;
    --payload) payload=$(cd "$2" && pwd); shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    *) echo "usage: reproducible.sh [--packer YELKPACK] [--payload CLIENT_DIR] [--keep DIR]" >&2; exit 64 ;;
    esac
done
say() { echo "reproducible.sh: $*"; }

if [ -n "$keep" ]; then
    mkdir -p "$keep"
    work=$(cd "$keep" && pwd)
else
    work=$(mktemp -d "${TMPDIR:-/tmp}/setup32-repro.XXXXXX")
    trap 'rm -rf "$work"' EXIT
fi

# The time stamp both builds must carry.
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    epoch=$SOURCE_DATE_EPOCH
elif epoch=$(git -c safe.directory='*' -C "$src" log -1 --format=%ct 2>/dev/null) && [ -n "$epoch" ]; then
    :
else
    epoch=0
fi

# The second build's sources: a copy of the tree (what git tracks, and new
# files it does not ignore; everything but build/ without git), elsewhere.
copy=$work/elsewhere/setup32-source
rm -rf "$work/elsewhere"
mkdir -p "$copy"
if git -c safe.directory='*' -C "$src" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    (cd "$src" && git -c safe.directory='*' ls-files -z --cached --others --exclude-standard |
        xargs -0 sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh |
        tar --null -T - -cf -) | tar -xf - -C "$copy"
else
    (cd "$src" && tar --exclude=./build -cf - .) | tar -xf - -C "$copy"
fi

# build NAME SOURCE [PACKER]: configures and builds the setup32 target of the
# win32 preset in $work/NAME.
build() {
    name=$1 tree=$2 tool=${3:-}
    rm -rf "$work/$name"
    set -- -DYELK_PAYLOAD_DIR="$payload"
    [ -n "$tool" ] && set -- "$@" -DYELK_PACKER="$tool"
    say "building $name from $tree"
    if ! (cd "$tree" && cmake --preset win32 -B "$work/$name" "$@" >"$work/$name.log" 2>&1 &&
        cmake --build "$work/$name" --target setup32 -j2 >>"$work/$name.log" 2>&1); then
        tail -30 "$work/$name.log" >&2
        say "the $name build failed (log: $work/$name.log)"
        exit 1
    fi
}

# First build: the tree where it is, the caller's environment (the time
# stamp from SOURCE_DATE_EPOCH when set, else from git).
build first "$src" "$packer"
[ -n "$packer" ] || packer=$work/first/native-tools/bin/yelkpack
# Second build: the copy, which has no git history, so the time stamp comes
# from SOURCE_DATE_EPOCH; another time zone, locale and umask; a second later.
sleep 1
(
    umask 077
    export SOURCE_DATE_EPOCH=$epoch TZ=Pacific/Kiritimati LC_ALL=C.UTF-8 LANG=C.UTF-8
    build second "$copy" "$packer"
)

a=$work/first/setup32.exe
b=$work/second/setup32.exe
status=0

# PE time stamp and checksum of FILE, and the checksum the file should have:
# the sum of its 16-bit words with carries folded back, the checksum field
# itself left out, plus the file's length.
pe_fields() {
    python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
stamp = struct.unpack_from("<I", data, pe + 8)[0]
field = pe + 24 + 64
stored = struct.unpack_from("<I", data, field)[0]
padded = data + b"\0" * (len(data) & 1)
words = struct.unpack("<%dH" % (len(padded) // 2), padded)
total = sum(words) - words[field // 2] - words[field // 2 + 1]
while total > 0xFFFF:
    total = (total & 0xFFFF) + (total >> 16)
print(stamp, "%08X" % stored, "%08X" % (total + len(data)))
PY
}

for f in "$a" "$b"; do
    set -- $(pe_fields "$f")
    if [ "$1" != "$epoch" ]; then
        say "$f: PE time stamp $1, expected $epoch"
        status=1
    fi
    if [ "$2" != "$3" ]; then
        say "$f: PE checksum $2, computed $3"
        status=1
    fi
done

if cmp -s "$a" "$b"; then
    say "identical: $(sha256sum "$a" | cut -d' ' -f1)  setup32.exe ($(stat -c%s "$a") bytes, time stamp $epoch)"
else
    say "the two builds differ ($(cmp -l "$a" "$b" | wc -l) bytes); first differences (offset, octal bytes):"
    cmp -l "$a" "$b" | head -20
    status=1
fi
exit $status
