#!/bin/sh
# Instructions per decoded byte of LzhDecode on each of the ten real-shaped
# members (packed with the packer's best parse) and over all ten: one
# callgrind run that counts only inside LzhDecode and dumps the counts after
# each member.
# Usage: members_callgrind.sh BENCH_MEMBERS SOURCE_DIR WORK_DIR
set -eu
bench=$1
src=$2
work=$3
mkdir -p "$work"
cd "$work"
sh "$src/bench/make_real_shaped.sh" real >/dev/null
rm -rf real/packed && mkdir real/packed
"$bench" real --pack
rm -f members.callgrind*
valgrind --tool=callgrind --toggle-collect='LzhDecode*' --dump-after='*DecodeMember*' \
    --callgrind-out-file=members.callgrind "$bench" real >members.list 2>callgrind-members.log

# Dump k (members.callgrind.k) holds the k-th member's LzhDecode; its "summary:" line
# is the instruction count.
k=0
while read -r name size coded; do
    k=$((k + 1))
    ir=$(awk '/^summary:/ { print $2; exit }' "members.callgrind.$k")
    echo "$name $size $coded $ir"
done <members.list | awk '
    BEGIN { printf "%-12s %10s %10s %13s %9s\n", "member", "bytes", "coded", "instructions", "per byte" }
    { printf "%-12s %10d %10d %13d %9.1f\n", $1, $2, $3, $4, $4 / $2; bytes += $2; coded += $3; ir += $4 }
    END { printf "%-12s %10d %10d %13d %9.1f\n", "all ten", bytes, coded, ir, ir / bytes }'
