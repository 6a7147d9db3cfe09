#!/bin/sh
# Writes ten files shaped like the shipped client's (same names, same sizes)
# into DIR, cut from data found on every Debian machine with this project's
# packages: an ELF program for yelk32.exe, gzip data for yelk.hlp, text for
# the rest. The same machine gives the same bytes every time.
# Usage: make_real_shaped.sh DIR
set -eu
dir=${1:?usage: make_real_shaped.sh DIR}
mkdir -p "$dir"

first_existing() {
    for f in "$@"; do
        if [ -r "$f" ]; then echo "$f"; return 0; fi
    done
    echo "make_real_shaped.sh: none of $* found" >&2
    exit 1
}

# cut SIZE NAME: standard input cut to exactly SIZE bytes into DIR/NAME.
cut_to() {
    head -c "$1" > "$dir/$2"
    got=$(wc -c < "$dir/$2")
    if [ "$got" -ne "$1" ]; then
        echo "make_real_shaped.sh: only $got of $1 bytes for $2" >&2
        exit 1
    fi
}

lic=/usr/share/common-licenses
elf=$(first_existing /usr/bin/ctest /usr/bin/cmake /usr/bin/gdb)
gz=$(first_existing /usr/share/doc/dpkg/changelog.gz /usr/share/doc/gpg/changelog.gz)

cut_to 1656832 yelk32.exe < "$elf"
cut_to 212811 yelk.hlp < "$gz"
gzip -dc "$gz" | cut_to 69569 primer.hlp
cut_to 1101 about.txt < "$lic/BSD"
cat "$lic/GPL-2" "$lic/GPL-1" | cut_to 20966 history.txt
cut_to 1803 yelk.ini < "$lic/Apache-2.0"
cut_to 266 macros.ini < "$lic/Artistic"
cut_to 2544 menus.ini < "$lic/CC0-1.0"
cut_to 31244 hosts.ini < "$lic/GPL-3"
cut_to 345 marks.ini < "$lic/LGPL-3"
