#!/usr/bin/env bash
# Redraws the movie page's images in res/: the run buttons (Convert, Cancel, Pause, Resume),
# the three command buttons above the list, the HD/SD radio, the open-folder button and the
# two light panels behind the list and the progress area.
# Needs ImageMagick 6 (Debian: imagemagick). No timestamps go into the files, so redrawing
# shows up in git only when a drawing changed.
#
# Buttons hold four frames side by side: normal, hover, pressed, disabled; the radio holds
# eight (those four unchecked, then checked). Texts are drawn by the buttons, not here.
# The page is navy 0x20364D; the panels are light; the accent is the launcher's clear blue.
set -euo pipefail
cd "$(dirname "$0")/../.."
IM=${CONVERT:-convert}
RES=res
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

PAGE='#20364D'
ACCENT='#3DA9FC'
PANEL='#F5F7FA'
PANEL_LINE='#B8C4D2'
FIELD_LINE='#D3DAE3'

save() { # save FILE CONVERT-ARGS...: a PNG with alpha and without timestamps
    local out=$1
    shift
    "$IM" "$@" -strip -define png:exclude-chunks=date,time "PNG32:$out"
}

# rounded W H TOP BOTTOM EDGE RADIUS OUT: a rounded gradient face with a one-pixel edge
rounded() {
    local w=$1 h=$2 top=$3 bottom=$4 edge=$5 r=$6 out=$7
    "$IM" -size "${w}x${h}" xc:none \
        \( -size "${w}x${h}" "gradient:$top-$bottom" \
           \( -size "${w}x${h}" xc:black -fill white \
              -draw "roundrectangle 0,0 $((w - 1)),$((h - 1)) $r,$r" \) \
           -alpha off -compose CopyOpacity -composite \) \
        -compose over -composite \
        -fill none -stroke "$edge" -strokewidth 1 \
        -draw "roundrectangle 0.5,0.5 $((w - 1)).5,$((h - 1)).5 $r,$r" "$out"
}

# --- run buttons: 70x44, a glyph in the top part, the word below (drawn by the button) --------
# run_button NAME GLYPH TOP BOTTOM EDGE
run_button() {
    local name=$1 glyph=$2 top=$3 bottom=$4 edge=$5 i=0
    local faces=("$top $bottom $edge" "$top $top $edge" "$bottom $bottom $edge" "#9AA8B8 #8A98A8 #7D8B9B")
    local files=()
    for face in "${faces[@]}"; do
        read -r t b e <<<"$face"
        i=$((i + 1))
        rounded 70 44 "$t" "$b" "$e" 6 "$TMP/r$i.png"
        "$IM" "$TMP/r$i.png" -fill white -stroke white -strokewidth 1 -draw "$glyph" "$TMP/r$i.png"
        files+=("$TMP/r$i.png")
    done
    # hover: a touch lighter; pressed: a touch darker
    "$IM" "${files[1]}" -modulate 112,100,100 "${files[1]}"
    "$IM" "${files[2]}" -modulate 85,100,100 "${files[2]}"
    save "$RES/$name" "${files[@]}" +append
}
run_button bt_convert.png 'path "M 30,5 L 41,11 L 30,17 Z"' "$ACCENT" '#1F7FD0' '#1769B0'
run_button bt_cancel.png 'rectangle 30,6 40,16' '#7D8EA1' '#5E6F83' '#4E5E71'
run_button bt_pause.png 'rectangle 29,6 32,16 rectangle 38,6 41,16' '#F0A63A' '#D4841A' '#B86F12'
run_button bt_resume.png 'path "M 30,5 L 41,11 L 30,17 Z"' '#3CC58A' '#1F9E67' '#188456'

# --- command buttons above the list: 130x32, an icon on the left, black text after it --------
# menu_button NAME ICON_DRAW
menu_button() {
    local name=$1 icon=$2
    rounded 130 32 '#FFFFFF' '#E4E9EF' '#AEB8C4' 5 "$TMP/m1.png"
    rounded 130 32 '#F4FAFF' '#D6EBFC' "$ACCENT" 5 "$TMP/m2.png"
    rounded 130 32 '#CFE6FA' '#B9DBF7' '#2B8BD6' 5 "$TMP/m3.png"
    rounded 130 32 '#EEF0F3' '#E2E6EB' '#C9CED4' 5 "$TMP/m4.png"
    for f in m1 m2 m3; do
        "$IM" "$TMP/$f.png" -stroke '#2B8BD6' -strokewidth 2 -fill none -draw "$icon" "$TMP/$f.png"
    done
    "$IM" "$TMP/m4.png" -stroke '#AAB3BE' -strokewidth 2 -fill none -draw "$icon" "$TMP/m4.png"
    save "$RES/$name" "$TMP/m1.png" "$TMP/m2.png" "$TMP/m3.png" "$TMP/m4.png" +append
}
menu_button menu01_add.png 'line 17,9 17,23 line 10,16 24,16'
menu_button menu02_del.png 'line 11,10 23,22 line 23,10 11,22'
menu_button menu03_option.png 'circle 17,16 17,11 line 17,6 17,9 line 17,23 17,26 line 7,16 10,16 line 24,16 27,16'

# --- HD/SD radio on the navy page: 16x16 frames ------------------------------------------------
# radio_frame RING FILL DOT OUT
radio_frame() {
    local ring=$1 fill=$2 dot=$3 out=$4
    "$IM" -size 16x16 xc:none -fill "$fill" -stroke "$ring" -strokewidth 1.5 \
        -draw 'circle 8,8 8,1.5' "$out"
    if [ "$dot" != none ]; then
        "$IM" "$out" -fill "$dot" -stroke none -draw 'circle 8,8 8,4.5' "$out"
    fi
}
radio_frame '#9DB2C7' none none "$TMP/c1.png"
radio_frame white '#FFFFFF1F' none "$TMP/c2.png"
radio_frame white '#FFFFFF33' none "$TMP/c3.png"
radio_frame '#5E7287' none none "$TMP/c4.png"
radio_frame "$ACCENT" none "$ACCENT" "$TMP/c5.png"
radio_frame "$ACCENT" '#FFFFFF1F' '#6CC0FF' "$TMP/c6.png"
radio_frame "$ACCENT" '#FFFFFF33' '#2B8BD6' "$TMP/c7.png"
radio_frame '#5E7287' none '#5E7287' "$TMP/c8.png"
save "$RES/checkbox_new_01.png" "$TMP"/c{1,2,3,4,5,6,7,8}.png +append

# --- open-folder button on the light panel: 24x24 frames -------------------------------------
folder_frame() { # folder_frame BG FG OUT
    "$IM" -size 24x24 xc:none -fill "$1" -draw 'roundrectangle 0,0 23,23 4,4' \
        -fill none -stroke "$2" -strokewidth 1.5 \
        -draw 'path "M 5,8 L 10,8 L 12,10 L 19,10 L 19,18 L 5,18 Z"' "$3"
}
folder_frame none '#2B8BD6' "$TMP/f1.png"
folder_frame '#DCEBFA' '#1F6FB0' "$TMP/f2.png"
folder_frame '#B9DBF7' '#1F6FB0' "$TMP/f3.png"
folder_frame none '#AAB3BE' "$TMP/f4.png"
save "$RES/bt_folder_open.png" "$TMP"/f{1,2,3,4}.png +append

# --- panels: 8-bit run-length bitmaps without alpha, the page colour in the corners ----------
# panel W H EXTRA_DRAW... OUT
panel() {
    local w=$1 h=$2 out=$3
    shift 3
    "$IM" -size "${w}x${h}" "xc:$PAGE" -fill "$PANEL" -stroke "$PANEL_LINE" -strokewidth 1 \
        -draw "roundrectangle 0.5,0.5 $((w - 1)).5,$((h - 1)).5 8,8" "$@" \
        -alpha off -colors 256 -type Palette -compress RLE -strip "BMP3:$out"
}
# Behind the list (at 28,77 on the page, 18,34 here) and the two check boxes.
panel 680 215 "$RES/convertor_list.bmp" \
    -stroke "$FIELD_LINE" -draw 'line 18,181 661,181'
# The save folder in a field, a divider, then the progress area.
panel 680 140 "$RES/convertor_info.bmp" \
    -fill white -stroke "$FIELD_LINE" -draw 'roundrectangle 24.5,28.5 611.5,53.5 4,4' \
    -stroke "$FIELD_LINE" -draw 'line 18,64 661,64'
