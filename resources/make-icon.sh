#!/usr/bin/env bash
# Draws the "AppIcon" pictures (a white tooth on a blue tile) and packs them
# into AppIcon.ico (48, 32 and 16 pixels, each in 16 colours, 256 colours and
# 32-bit colour) and AppIcon.xpm for the native build.
# Needs ImageMagick and icoutils; the results are checked in.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Drawn once at 192 pixels and scaled down, so every size looks the same.
convert -size 192x192 xc:none \
  -fill '#1d5c96' -draw 'roundrectangle 8,8 183,183 36,36' \
  -fill white -draw 'path "M 52,62 C 52,34 80,34 96,46 C 112,34 140,34 140,62 C 140,86 128,96 124,124 C 120,152 112,160 106,160 C 98,160 100,118 96,112 C 92,118 94,160 86,160 C 80,160 72,152 68,124 C 64,96 52,86 52,62 Z"' \
  "$work/master.png"

parts=()
for size in 48 32 16; do
  convert "$work/master.png" -resize ${size}x${size} "$work/rgba-$size.png"
  # Palette images: transparency becomes a palette entry of its own.
  convert "$work/rgba-$size.png" -channel A -threshold 50% +channel -colors 15 \
    -type PaletteMatte PNG8:"$work/pal16-$size.png"
  convert "$work/rgba-$size.png" -channel A -threshold 50% +channel -colors 255 \
    -type PaletteMatte PNG8:"$work/pal256-$size.png"
  parts+=(-b 4 "$work/pal16-$size.png" -b 8 "$work/pal256-$size.png" -b 32 "$work/rgba-$size.png")
done
icotool -c -o AppIcon.ico "${parts[@]}"
convert "$work/rgba-32.png" -channel A -threshold 50% +channel xpm:- \
  | sed 's/^static .*\[\] = {/static const char* const AppIcon_xpm[] = {/' > AppIcon.xpm
icotool -l AppIcon.ico
