#!/bin/sh
# Makes a release of setup32.exe from a client folder: checks that the
# installer builds reproducibly (scripts/reproducible.sh), builds it again,
# verified and, with a certificate, signed (the YELK_SIGN_* options), checks
# that the signed file is the reproducible one plus its signature, and writes
# setup32.exe and setup32.exe.sha256 into OUT_DIR.
#
#   scripts/release.sh --client DIR [--out OUT_DIR] [--build BUILD_DIR]
#                      [--cert CERT (--key KEY | --password-file FILE) [--timestamp URL] [--ca CA.pem]]
#
# --cert, --key, --password-file, --timestamp: as YELK_SIGN_CERT, YELK_SIGN_KEY,
#   YELK_SIGN_PASSWORD_FILE and YELK_SIGN_TIMESTAMP_URL (see the README)
# --ca  the root the signature must verify against (osslsigncode verify -CAfile)
# --out   default: out/
# --build emptied, then holds the builds (default: build/release); a folder
#         that holds anything but an earlier run of this script is refused
# The PE time stamp is $SOURCE_DATE_EPOCH, else the last commit's time.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
client= out=$root/out build=$root/build/release cert= key= password= timestamp= ca=
usage() {
    echo "usage: release.sh --client DIR [--out OUT_DIR] [--build BUILD_DIR] [--cert CERT (--key KEY | --password-file FILE) [--timestamp URL] [--ca CA.pem]]" >&2
    exit 64
}
while [ $# -gt 0 ]; do
    case $1 in
    --client) client=$(cd "$2" && pwd); shift 2 ;;
    --out) out=$2; shift 2 ;;
    --build) build=$(realpath "$2"); shift 2 ;;
    --cert) cert=$(realpath "$2"); shift 2 ;;
    --key) key=$(realpath "$2"); shift 2 ;;
    --password-file) password=$(realpath "$2"); shift 2 ;;
    --timestamp) timestamp=$2; shift 2 ;;
    --ca) ca=$(realpath "$2"); shift 2 ;;
    *) usage ;;
    esac
done
[ -n "$client" ] || usage
say() { echo "release.sh: $*"; }
cd "$root"
"$root/scripts/deps.sh"

# Emptied only when it is a folder this script made (or an empty one).
if [ -d "$build" ] && [ -n "$(ls -A "$build")" ] && [ ! -f "$build/.setup32-release" ]; then
    say "$build holds something else; give another --build"
    exit 1
fi
rm -rf "$build"
mkdir -p "$build"
touch "$build/.setup32-release"
# Two unsigned builds that must agree; the first one's packer serves the third.
repro=$build/reproducible
"$root/scripts/reproducible.sh" --payload "$client" --keep "$repro"
unsigned=$repro/first/setup32.exe

tree=$build/tree
cmake --preset win32 -B "$tree" -DYELK_PAYLOAD_DIR="$client" \
    -DYELK_PACKER="$repro/first/native-tools/bin/yelkpack" \
    -DYELK_SIGN_CERT="$cert" -DYELK_SIGN_KEY="$key" \
    -DYELK_SIGN_PASSWORD_FILE="$password" -DYELK_SIGN_TIMESTAMP_URL="$timestamp" >/dev/null
# Verified by yelkpack after linking and, when signed, again after signing.
cmake --build "$tree" --target setup32 -j2
exe=$tree/setup32.exe

if [ -n "$cert" ]; then
    # The signature only appends: without it the file is the reproducible one.
    osslsigncode remove-signature -in "$exe" -out "$tree/unsigned.exe" >/dev/null
    cmp "$tree/unsigned.exe" "$unsigned" || { say "the signed file is not the reproducible build"; exit 1; }
    if [ -n "$ca" ]; then
        osslsigncode verify -CAfile "$ca" -in "$exe" >"$tree/verify.log" 2>&1 ||
            { cat "$tree/verify.log"; say "the signature does not verify against $ca"; exit 1; }
        say "signature verified against $ca"
    fi
else
    cmp "$exe" "$unsigned"
    say "no --cert: the release is unsigned"
fi

mkdir -p "$out"
cp "$exe" "$out/setup32.exe"
(cd "$out" && sha256sum setup32.exe >setup32.exe.sha256)
say "$out/setup32.exe, time stamp $(cat "$tree/source_date_epoch.txt") (SOURCE_DATE_EPOCH)"
cat "$out/setup32.exe.sha256"
