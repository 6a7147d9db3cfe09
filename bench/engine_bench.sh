#!/bin/sh
# Figures of the extraction engine (run from a native build tree's bench/):
#  1. instructions (callgrind) of a headless installation, `yelkpack extract`,
#     of a real-shaped payload, against the decoder alone on the same members
#     and against the 1989 public program's way of decoding them
#     (bench/classic_lzhuf.cpp);
#  2. peak memory of `yelkpack extract` for a payload whose first member is
#     1 MB and 64 MB.
# Usage: engine_bench.sh YELKPACK BENCH_ENGINE_DECODE SOURCE_DIR [WORK_DIR]
set -eu
yelkpack=$1
decode=$2
src=$3
work=${4:-$(mktemp -d)}
mkdir -p "$work"
cd "$work"
export TMPDIR="$work/tmp"
rm -rf "$TMPDIR" && mkdir -p "$TMPDIR"

crc_of() { grep -o '0x[0-9A-Fa-f]*' "$1" | head -n 1 | sed 's/^0x//'; }

# 1. Instructions.
if [ ! -f real.bin ]; then
    sh "$src/bench/make_real_shaped.sh" real >/dev/null
    "$yelkpack" pack real -o real.bin --crc-header real.h >/dev/null
fi
crc=$(crc_of real.h)
rm -rf dest && valgrind --tool=callgrind --callgrind-out-file=extract.callgrind \
    "$yelkpack" extract real.bin dest --crc "$crc" >/dev/null 2>callgrind-extract.log
cmp -s real/yelk32.exe dest/yelk32.exe || { echo "engine_bench: extract gave other bytes" >&2; exit 1; }
valgrind --tool=callgrind --toggle-collect='LzhDecode*' --callgrind-out-file=decode.callgrind \
    "$decode" real.bin >/dev/null 2>callgrind-decode.log
valgrind --tool=callgrind --toggle-collect='ClassicDecode*' --callgrind-out-file=classic.callgrind \
    "$decode" --classic real.bin >/dev/null 2>callgrind-classic.log

# Inclusive instructions of one function in a callgrind profile.
incl() {
    callgrind_annotate --inclusive=yes "$1" 2>/dev/null |
        awk -v f="$2" '$0 ~ f { gsub(",", "", $1); print $1; exit }'
}
total() {
    callgrind_annotate "$1" 2>/dev/null | awk '/PROGRAM TOTALS/ { gsub(",", "", $1); print $1; exit }'
}
all=$(total extract.callgrind)
pump=$(incl extract.callgrind ':PumpExtraction[(]')
crcpass=$(incl extract.callgrind ':PayloadCrc[(]')
indecode=$(incl extract.callgrind ':LzhDecode[(]')
alone=$(total decode.callgrind)
classic=$(total classic.callgrind)
awk -v all="$all" -v pump="$pump" -v crc="$crcpass" -v ind="$indecode" -v alone="$alone" -v classic="$classic" 'BEGIN {
    printf "classic decoder (1989 way, 10 members):  %d instructions\n", classic
    printf "decoder alone (LzhDecode, 10 members):   %d instructions\n", alone
    printf "yelkpack extract, whole process:         %d instructions\n", all
    printf "  PayloadCrc (integrity pass):           %d\n", crc
    printf "  PumpExtraction (scan, files, policy):  %d, of which LzhDecode %d\n", pump, ind
    printf "engine over the decoder: %+.2f%% (PumpExtraction against the decoder alone)\n", (pump / alone - 1) * 100
    printf "whole installation over the decoder: %+.2f%%\n", (all / alone - 1) * 100
    printf "against the classic decoder: decoder %.3fx, whole installation %.3fx\n", alone / classic, all / classic
}'

# 2. Peak memory against member size.
for mb in 1 64; do
    if [ ! -f big$mb.bin ]; then
        rm -rf big$mb && cp -r real big$mb
        # Compressible but not trivial: the real-shaped program, repeated.
        i=0
        while [ $((i * 1656832)) -lt $((mb * 1048576)) ]; do cat real/yelk32.exe; i=$((i + 1)); done |
            head -c $((mb * 1048576)) > big$mb/yelk32.exe
        "$yelkpack" pack big$mb -o big$mb.bin --crc-header big$mb.h --greedy >/dev/null
    fi
    rm -rf dest$mb
    /usr/bin/time -v "$yelkpack" extract big$mb.bin dest$mb --crc "$(crc_of big$mb.h)" >/dev/null 2>time$mb.log
    cmp -s big$mb/yelk32.exe dest$mb/yelk32.exe || { echo "engine_bench: big$mb gave other bytes" >&2; exit 1; }
    awk -v mb=$mb '/Maximum resident set size/ { printf "peak RSS, %2d MB member: %d KB\n", mb, $NF }' time$mb.log
    rm -rf dest$mb
done
