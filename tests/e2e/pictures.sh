#!/bin/bash
# Pictures of a real installation for the README, and its wall time under Wine.
# Runs setup32.exe in a fresh prefix on Xvfb, drives it through every page with
# yelkdrive.exe (the progress page is taken while the named member is being
# decoded, so both bars are part-way), and writes page0.png ... page4.png and
# chooser.png, trimmed to the windows, into OUTDIR. Then it installs RUNS more
# times without pictures and prints each wall time (Install pressed to finish
# page shown) with the floor the 25 ms pause between slices sets.
#
#   pictures.sh SETUP32.EXE YELKDRIVE.EXE OUTDIR [RUNS]
#
# The x86_64 tree's programs need YELK_WINE_LOADER=/usr/lib/wine/wine64 (they
# then run in a 64-bit prefix; see tests/wine/prefix.sh).
set -eu
setup=$1 driver=$2 out=$3 runs=${4:-3}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap '"$here/../wine/prefix.sh" cleanup "$work"; rm -rf "$work"' EXIT
YELK_XVFB=1 "$here/../wine/prefix.sh" setup "$work" >/dev/null
# Wine's own fonts, so that the pictures show the windows as on Windows.
"$here/../wine/prefix.sh" fonts "$work"
. "$work/env"
C=$WINEPREFIX/drive_c
cp "$setup" "$C/setup32.exe"
mkdir -p "$C/pic" "$out"
"$YELK_WINE_LOADER" "$driver" pages stem='c:\pic\page' | tr -d '\r'
for f in "$C"/pic/*.bmp; do
    name=$(basename "$f" .bmp)
    name=${name/pagechooser/chooser}
    convert "$f" -trim +repage "$out/$name.png"
done
ls "$out"

# Timed runs, each into an empty folder and without a group from before.
for d in "$C"/users/*; do [ "$(basename "$d")" != Public ] && user=$d; done
for i in $(seq "$runs"); do
    rm -rf "$C/Yelk" "$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Yelk"
    "$YELK_WINE_LOADER" "$driver" pages stem='c:\pic\timed' capture=0 | tr -d '\r' | sed -n 's/^install-ms \([0-9]*\) slices \([0-9]*\)/\1 \2/p' |
        while read -r ms slices; do
            echo "run $i: ${ms} ms; floor $slices slices x 25 ms = $((slices * 25)) ms"
        done
done
