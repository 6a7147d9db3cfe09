#!/bin/sh
# Renders the wizard's five pages and its folder chooser into docs/*.png, on an
# Xvfb display of their own, in a Wine prefix of their own.
#   tests/win32/render_pages.sh [BUILD_DIR]   (a configured cross tree; default build/win32)
set -eu
src=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$src/build/win32}" && pwd)
# The tree's Wine loader: the x86_64 tree names the 64-bit one.
loader=$(sed -n 's/^YELK_WINE_LOADER:[A-Z]*=//p' "$build/CMakeCache.txt")
export YELK_WINE_LOADER=${YELK_WINE_LOADER:-${loader:-wine}}
cmake --build "$build" --target wizard_pictures -j2 >/dev/null

dir=$build/wine/pictures
YELK_XVFB=1 "$src/tests/wine/prefix.sh" setup "$dir" "$build/wine/template" >/dev/null 2>&1
trap '"$src/tests/wine/prefix.sh" cleanup "$dir"' EXIT
. "$dir/env"
# Wine's own fonts (Debian's fonts-wine) are not found where this Wine looks;
# in the prefix's font folder "MS Sans Serif" is the bitmap font the
# templates were laid out for, not a fontconfig stand-in.
if [ -d /usr/share/wine/fonts ]; then
    cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
fi
"$YELK_WINE_LOADER" wineboot >/dev/null 2>&1 </dev/null || true

# Started from drive C, as a user would, so the default folder reads c:\Yelk.
cp "$build/tests/win32/wizard_pictures.exe" "$WINEPREFIX/drive_c/"
out=$dir/bmp
rm -rf "$out"
mkdir -p "$out"
(cd "$WINEPREFIX/drive_c" && "$YELK_WINE_LOADER" 'c:\wizard_pictures.exe' "z:$out") </dev/null

mkdir -p "$src/docs"
for f in "$out"/*.bmp; do
    convert "$f" "$src/docs/wizard-$(basename "$f" .bmp).png"
done
ls "$src"/docs/wizard-*.png
