#!/usr/bin/env bash
# Redraws the launcher's and the window frame's images in res/: caption strips and caption
# buttons, the two mode tabs, the logo, the header strip and the application icon.
# Needs ImageMagick 6 (Debian: imagemagick) and fonts-dejavu-core. The output is the same on
# every run (no timestamps in the files), so redrawing shows up in git only when it changed.
#
# Button images hold four frames side by side: normal, hover, pressed, disabled/selected.
# Colours: the pages below the header are navy 0x20364D (red 20, green 36, blue 4D);
# the header and caption are a darker navy; the accent is a clear blue.
set -euo pipefail
cd "$(dirname "$0")/../.."
IM=${CONVERT:-convert}
RES=res
FONT=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
BOLD=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

PAGE='#20364D'
HEADER_TOP='#162A3F'
HEADER_BOTTOM='#11202F'
CAPTION_TOP='#0F1C2A'
CAPTION_BOTTOM='#0B1520'
ACCENT='#3DA9FC'
TEXT_DIM='#9DB2C7'
TEXT_OFF='#5E7287'

# save FILE: writes the image built by the preceding arguments without timestamps.
save() {
    local out=$1
    shift
    "$IM" "$@" -strip -define png:exclude-chunks=date,time "PNG32:$out"
}

# --- caption strips (stretched over the window's width by the skin) -------------------------
save "$RES/Comm_Caption.png" -size 700x30 "gradient:$CAPTION_TOP-$CAPTION_BOTTOM" \
    -fill '#22384F' -draw 'line 0,29 699,29'
save "$RES/Comm_Caption_option.png" -size 440x30 "gradient:$HEADER_TOP-$CAPTION_BOTTOM" \
    -fill "$ACCENT" -draw 'rectangle 0,28 439,29'

# --- caption buttons: 30x30 frames -----------------------------------------------------------
# frame BG GLYPH_COLOUR DRAW OUT
frame() {
    local bg=$1 fg=$2 glyph=$3 out=$4
    "$IM" -size 30x30 xc:none \
        \( -size 26x22 xc:none -fill "$bg" -draw 'roundrectangle 0,0 25,21 4,4' \) \
        -gravity center -composite -gravity northwest \
        -stroke "$fg" -strokewidth 1.6 -fill none -draw "$glyph" "$out"
}
caption_button() {
    local name=$1 glyph=$2 hover=$3 pressed=$4
    frame none "$TEXT_DIM" "$glyph" "$TMP/a.png"
    frame "$hover" white "$glyph" "$TMP/b.png"
    frame "$pressed" white "$glyph" "$TMP/c.png"
    frame none "$TEXT_OFF" "$glyph" "$TMP/d.png"
    save "$RES/$name" "$TMP/a.png" "$TMP/b.png" "$TMP/c.png" "$TMP/d.png" +append
}
caption_button Laun_close.png 'line 10,10 20,20 line 20,10 10,20' '#E0443E' '#B3312C'
caption_button Comm_max.png 'rectangle 10,10 20,20' '#FFFFFF26' '#FFFFFF40'
caption_button Laun_mini.png 'line 10,16 20,16' '#FFFFFF26' '#FFFFFF40'
caption_button Laun_help.png \
    'path "M 11.5,12 C 11.5,8.5 18.5,8.5 18.5,12 C 18.5,14.5 15,14.5 15,17.5" line 15,20 15,21' \
    '#FFFFFF26' '#FFFFFF40'

# --- header strip: 700x44, a bitmap without alpha ---------------------------------------------
"$IM" -size 700x44 "gradient:$HEADER_TOP-$HEADER_BOTTOM" \
    -fill '#0A141E' -draw 'line 0,43 699,43' \
    -fill '#1F3650' -draw 'line 0,0 699,0' \
    -strip "BMP3:$RES/convertor_middle.bmp"

# --- mode tabs: 99x44 frames with an icon and a word -----------------------------------------
# tab_frame STATE ICON_DRAW WORD OUT; STATE is normal|hover|pressed|selected
tab_frame() {
    local state=$1 icon=$2 word=$3 out=$4 bg=none fg=$TEXT_DIM bar=()
    case $state in
        hover) bg='#FFFFFF14'; fg=white ;;
        pressed) bg='#FFFFFF24'; fg=white ;;
        selected) bg=$PAGE; fg=white; bar=(-fill "$ACCENT" -draw 'rectangle 14,6 84,8') ;;
    esac
    "$IM" -size 99x44 xc:none \
        -fill "$bg" -draw 'roundrectangle 0,6 98,52 7,7' \
        "${bar[@]}" \
        -stroke "$fg" -strokewidth 1.5 -fill none -draw "$icon" -stroke none \
        -fill "$fg" -font "$BOLD" -pointsize 12 -annotate +40+31 "$word" "$out"
}
tab() {
    local name=$1 icon=$2 word=$3
    local states=(normal hover pressed selected) files=()
    for s in "${states[@]}"; do
        tab_frame "$s" "$icon" "$word" "$TMP/tab_$s.png"
        files+=("$TMP/tab_$s.png")
    done
    save "$RES/$name" "${files[@]}" +append
}
# A film frame with a play mark, and a picture with a mountain and a sun.
tab tab_mode_movie.png \
    'roundrectangle 14,17 32,35 3,3 line 18,17 18,35 line 28,17 28,35 path "M 21.5,22.5 L 25.5,26 L 21.5,29.5 Z"' \
    'Movie'
tab tab_mode_image.png \
    'roundrectangle 14,17 33,34 3,3 path "M 15,32 L 21,25 L 25,29 L 28,26 L 32,31" circle 28.5,21.5 30,21.5' \
    'Image'

# --- logo: 112x44 frames ----------------------------------------------------------------------
logo_frame() {
    local mark=$1 fg=$2 out=$3
    "$IM" -size 112x44 xc:none \
        -fill "$mark" -draw 'roundrectangle 4,11 25,32 5,5' \
        -fill white -draw 'path "M 11.5,16.5 L 20,21.5 L 11.5,26.5 Z"' \
        -fill "$fg" -font "$BOLD" -pointsize 12.5 -annotate +31+27 'Framepress' "$out"
}
logo_frame "$ACCENT" white "$TMP/l1.png"
logo_frame '#6CC0FF' "#DCEFFF" "$TMP/l2.png"
logo_frame '#2B8BD6' "$TEXT_DIM" "$TMP/l3.png"
logo_frame "$TEXT_OFF" "$TEXT_OFF" "$TMP/l4.png"
save "$RES/top_logo.png" "$TMP/l1.png" "$TMP/l2.png" "$TMP/l3.png" "$TMP/l4.png" +append

# --- application icon: 256x256 ---------------------------------------------------------------
save "$RES/framepress.png" -size 256x256 xc:none \
    \( -size 232x232 "gradient:#4DB5FF-#1F5F9E" \
       \( -size 232x232 xc:black -fill white -draw 'roundrectangle 0,0 231,231 48,48' \) \
       -alpha off -compose CopyOpacity -composite \) \
    -gravity center -compose over -composite -gravity northwest \
    -fill '#FFFFFF30' -draw 'roundrectangle 40,64 216,192 14,14' \
    -fill white -draw 'path "M 104,92 L 164,128 L 104,164 Z"'
