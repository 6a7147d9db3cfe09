#!/bin/bash
# Where the wall time of a real installation goes under Wine. Installs RUNS
# times with a traced setup32.exe (built with -DCMAKE_CXX_FLAGS=-DYELK_TRACE),
# driven by yelkdrive.exe in a fresh prefix on Xvfb; reads each run's marks
# and prints every part of the time as the median over the runs (ms). Then
# wineprobe.exe shows what Wine's timer, the painters' calls and Program
# Manager conversations take with nothing of the installer around them.
#
#   install_trace.sh SETUP32.EXE YELKDRIVE.EXE WINEPROBE.EXE [RUNS] [KEEPDIR]
#
# KEEPDIR, when given, keeps each run's marks as trace1.txt, trace2.txt, ...
# The x86_64 tree's programs need YELK_WINE_LOADER=/usr/lib/wine/wine64 (they
# then run in a 64-bit prefix; see tests/wine/prefix.sh).
set -eu
setup=$1 driver=$2 probe=$3 runs=${4:-5} keep=${5:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap '"$here/../wine/prefix.sh" cleanup "$work"; rm -rf "$work"' EXIT
YELK_XVFB=1 "$here/../wine/prefix.sh" setup "$work" >/dev/null
. "$work/env"
C=$WINEPREFIX/drive_c
cp "$setup" "$C/setup32.exe"
mkdir -p "$C/pic" "$work/traces"
for d in "$C"/users/*; do [ "$(basename "$d")" != Public ] && user=$d; done

# One run's parts, "name value" a line, from its marks ("microseconds what arg").
parts() {
    awk '
    function ms(us) { return us / 1000.0 }
    $2 == "install"          { t0 = $1 }
    $2 == "crc-begin"        { cb = $1 }
    $2 == "crc-end"          { crc += $1 - cb }
    $2 == "pump-message"     { if (!first) first = $1 }
    $2 == "slice-begin"      { sb = $1; inslice = 1; slices++; if (tf) post += $1 - tf; tf = 0 }
    $2 == "slice-end"        { work += $1 - sb; inslice = 0; se = $1 }
    $2 == "timer-set"        { ts = $1; settimer += $1 - se }
    $2 == "timer-fired"      { tf = $1; waits++; wait += $1 - ts; print "tick", ms($1 - ts) > "/dev/stderr" }
    $2 == "member-begin"     { mb = $1; inmember = 1 }
    $2 == "wipe-begin"       { wb = $1 }
    $2 == "wipe-end"         { wipe += $1 - wb; member += $1 - mb; inmember = 0 }
    $2 == "bar-begin"        { bb = $1 }
    $2 == "bar-end"          { if (inmember) filebars += $1 - bb; else if (inslice) overallbars += $1 - bb }
    $2 == "group-begin"      { gb = $1 }
    $2 == "dde-begin"        { db = $1 }
    $2 == "dde-connect"      { own += $1 - db; dc = $1 }
    $2 == "dde-connected"    { connect += $1 - dc; dx = $1 }
    $2 == "dde-executed"     { execute += $1 - dx; dd = $1 }
    $2 == "dde-disconnected" { disconnect += $1 - dd; dl = $1 }
    $2 == "dde-end"          { own += $1 - dl }
    $2 == "group-end"        { ge = $1; group = $1 - gb }
    $2 == "finish-page"      { fin = $1 }
    END {
        printf "total %.1f\n", ms(fin - t0)
        printf "start %.1f\ncrc %.1f\n", ms(first - t0), ms(crc)
        printf "slices %d\nwork %.1f\n", slices, ms(work)
        printf "member %.1f\nfilebars %.1f\nwipe %.1f\n", ms(member), ms(filebars), ms(wipe)
        printf "decode %.1f\n", ms(member - filebars - wipe)
        printf "overallbars %.1f\nscan %.1f\n", ms(overallbars), ms(work - member - overallbars)
        printf "waits %d\nwait %.1f\nover %.1f\n", waits, ms(wait), ms(wait) - waits * 25
        printf "rearm %.1f\n", ms(settimer + post)
        printf "group %.1f\nconnect %.1f\nexecute %.1f\ndisconnect %.1f\nddeown %.1f\n",
               ms(group), ms(connect), ms(execute), ms(disconnect), ms(own)
        printf "finish %.1f\n", ms(fin - ge)
        printf "other %.1f\n", ms(fin - t0 - (first - t0) - work - wait - settimer - post - group - (fin - ge))
    }' "$1"
}

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR) printf "%.1f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for i in $(seq "$runs"); do
    rm -rf "$C/Yelk" "$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Yelk" "$C/setup32-trace.txt"
    driven=$("$YELK_WINE_LOADER" "$driver" pages stem='c:\pic\timed' capture=0 | tr -d '\r' | sed -n 's/^install-ms \([0-9]*\).*/\1/p')
    cp "$C/setup32-trace.txt" "$work/traces/trace$i.txt"
    parts "$work/traces/trace$i.txt" >"$work/traces/parts$i.txt" 2>"$work/traces/ticks$i.txt"
    echo "run $i: driver ${driven} ms, traced $(sed -n 's/^total //p' "$work/traces/parts$i.txt") ms"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
[ -n "$keep" ] && mkdir -p "$keep" && cp "$work"/traces/trace*.txt "$keep/"

m() { cat "$work"/traces/parts*.txt | sed -n "s/^$1 //p" | median; }
n() { m "$1" | sed 's/\.0$//'; }
tick=$(cat "$work"/traces/ticks*.txt | sed -n 's/^tick //p' | median)
cat <<EOF

median of $runs runs, ms
| part | ms |
|---|---|
| Install pressed to finish page shown | $(m total) |
| progress page, folder, CRC pass (CRC pass alone $(m crc)) | $(m start) |
| $(n slices) slices' work | $(m work) |
| - decoding the ten members (file-bar paints and wipes apart) | $(m decode) |
| - per-file bar, painted during the decodes | $(m filebars) |
| - per-file bar wiped after each member | $(m wipe) |
| - overall bar, once a slice | $(m overallbars) |
| - scan and temporary-file writes | $(m scan) |
| $(n waits) timer waits (one tick median $tick) | $(m wait) |
| - over $(n waits) x 25 ms | $(m over) |
| SetTimer calls and tick-to-pump posts | $(m rearm) |
| Program Manager group, 12 conversations | $(m group) |
| - DdeConnect | $(m connect) |
| - DdeClientTransaction (execute) | $(m execute) |
| - DdeDisconnect | $(m disconnect) |
| - ours (string handles, formatting) | $(m ddeown) |
| finish page switch | $(m finish) |
| unaccounted | $(m other) |
EOF

echo
"$YELK_WINE_LOADER" "$probe" timer 63 | tr -d '\r'
"$YELK_WINE_LOADER" "$probe" controls | tr -d '\r'
"$YELK_WINE_LOADER" "$probe" dde 12 | tr -d '\r'
