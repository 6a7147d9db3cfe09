#!/bin/sh
# Maps a drive letter of a test prefix as a CD-ROM: map-cdrom.sh DIR LETTER:
# DIR is a prefix made by tests/wine/prefix.sh setup. The drive shows the
# folder DIR/cdrom; Wine's mount manager reads the drive types when the
# prefix's server starts, so the server is restarted.
set -eu
dir=$1
drive=$2
here=$(cd "$(dirname "$0")" && pwd)
(
    . "$dir/env"
    mkdir -p "$dir/cdrom"
    ln -sfn "$dir/cdrom" "$WINEPREFIX/dosdevices/$drive"
    "$YELK_WINE_LOADER" reg add 'HKLM\Software\Wine\Drives' /v "$drive" /d cdrom /f </dev/null >/dev/null 2>&1
)
"$here/../wine/prefix.sh" restart "$dir"
