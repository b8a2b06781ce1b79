#!/usr/bin/env bash
# Draws the menu and toolbar pictures of the main window (64 x 64 PNG) into
# resources/res. Run by hand when a picture changes; the PNGs are committed.
set -euo pipefail
cd "$(dirname "$0")/.."
FONT=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf

# name  top colour  bottom colour  label  point size
icon() {
  convert -size 64x64 xc:none \
    \( -size 60x60 gradient:"$2"-"$3" \
       \( -size 60x60 xc:none -fill white -draw "roundrectangle 0,0 59,59 12,12" \) \
       -compose CopyOpacity -composite \) \
    -geometry +2+2 -compose Over -composite \
    -font "$FONT" -pointsize "$5" -fill white -gravity center -annotate +0+1 "$4" \
    -define png:exclude-chunks=date,time "$1.png"
}

icon backup          '#5BA4E6' '#2466A8' 'BK'   22
icon i2a             '#7FB2F0' '#3B8E3B' 'i→A'  18
icon a2i             '#7CC576' '#2D6FB8' 'A→i'  18
icon i2i             '#7FB2F0' '#2D6FB8' 'i→i'  18
icon a2a             '#7CC576' '#2F7A2F' 'A→A'  18
icon db2i            '#C9A66B' '#2D6FB8' 'DB→i' 15
icon db2a            '#C9A66B' '#2F7A2F' 'DB→A' 14
icon export          '#F0B35B' '#B86F16' '⇪'    34
icon print           '#9AA5B1' '#56616D' 'PR'   22
icon new_ct          '#67C7B5' '#1F8A76' '+'    40
icon import          '#B49AE6' '#6B47B8' '⇩'    34
icon from_itunes     '#F08FB8' '#B8386F' '♫'    34
icon del             '#F07F7F' '#B83232' '✕'    30
icon open_db_folder  '#E6CC73' '#A88A24' 'DB'   22
icon exit            '#B0B0B0' '#6B6B6B' 'EXIT' 15
icon help            '#7FB2F0' '#2D6FB8' '?'    36
icon unmount         '#B0B0B0' '#6B6B6B' '⏏'    32
icon edit            '#F0B35B' '#B86F16' '✎'    32

# The search button is drawn: a lens and its handle.
convert -size 64x64 xc:none -stroke '#4A4A4A' -strokewidth 6 -fill none \
  -draw "circle 27,27 27,11" -strokewidth 8 -draw "line 39,39 54,54" \
  -define png:exclude-chunks=date,time search.png
