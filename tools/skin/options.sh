#!/usr/bin/env bash
# Redraws the images of the two options dialogs in res/: the page tab, the wide and narrow
# command buttons, the check box and radio button (the movie window uses the radio too) and
# the rotation picture of the image options dialog.
# Needs ImageMagick 6 (Debian: imagemagick). No timestamps go into the files, so redrawing
# shows up in git only when a drawing changed.
#
# Push buttons and the tab hold four frames side by side: normal, hover, pressed,
# disabled/selected. The check box and radio hold eight: those four unchecked, then checked.
# The dialogs are light (white client, page of #F0F0F0 framed by #C6C6C6) under the dark
# caption; the accent is the caption's clear blue.
set -euo pipefail
cd "$(dirname "$0")/../.."
IM=${CONVERT:-convert}
RES=res
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

ACCENT='#3DA9FC'
ACCENT_DARK='#2B8BD6'
ACCENT_DEEP='#1F6FB0'
PAGE='#F0F0F0'
PAGE_LINE='#C6C6C6'
OFF_FILL='#E9ECEF'
OFF_LINE='#C9CED4'

save() { # save FILE CONVERT-ARGS...: a PNG with alpha and without timestamps
    local out=$1
    shift
    "$IM" "$@" -strip -define png:exclude-chunks=date,time "PNG32:$out"
}

# --- command buttons: rounded, a soft vertical gradient; the text is drawn by the button -----
# button_frame W H TOP BOTTOM EDGE OUT
button_frame() {
    local w=$1 h=$2 top=$3 bottom=$4 edge=$5 out=$6
    "$IM" -size "${w}x${h}" xc:none \
        \( -size "${w}x${h}" "gradient:$top-$bottom" \
           \( -size "${w}x${h}" xc:black -fill white \
              -draw "roundrectangle 0,0 $((w - 1)),$((h - 1)) 5,5" \) \
           -alpha off -compose CopyOpacity -composite \) \
        -compose over -composite \
        -fill none -stroke "$edge" -strokewidth 1 \
        -draw "roundrectangle 0.5,0.5 $((w - 1)).5,$((h - 1)).5 5,5" "$out"
}
button() { # button NAME W H
    local name=$1 w=$2 h=$3
    button_frame "$w" "$h" '#FFFFFF' '#E4E9EF' '#AEB8C4' "$TMP/b1.png"
    button_frame "$w" "$h" '#F4FAFF' '#D6EBFC' "$ACCENT" "$TMP/b2.png"
    button_frame "$w" "$h" '#CFE6FA' '#B9DBF7' "$ACCENT_DARK" "$TMP/b3.png"
    button_frame "$w" "$h" "$OFF_FILL" "$OFF_FILL" "$OFF_LINE" "$TMP/b4.png"
    save "$RES/$name" "$TMP/b1.png" "$TMP/b2.png" "$TMP/b3.png" "$TMP/b4.png" +append
}
button option_bt01.png 110 30   # Apply, Cancel
button option_bt02.png 100 24   # choose folder, beside the folder field

# --- page tab: 120x24, the selected frame joins the page below it ----------------------------
# tab_frame FILL LINE OUT
tab_frame() {
    "$IM" -size 120x24 xc:none \
        -fill "$1" -stroke "$2" -strokewidth 1 -draw 'roundrectangle 0.5,0.5 119.5,30 5,5' \
        "$3"
}
tab_frame '#FAFAFA' "$PAGE_LINE" "$TMP/t1.png"
tab_frame '#FFFFFF' "$ACCENT" "$TMP/t2.png"
tab_frame '#E6F2FC' "$ACCENT_DARK" "$TMP/t3.png"
"$IM" "$TMP/t1.png" -fill "$PAGE" -stroke "$PAGE_LINE" -strokewidth 1 \
    -draw 'roundrectangle 0.5,0.5 119.5,30 5,5' \
    -stroke none -fill "$ACCENT" -draw 'rectangle 5,1 114,2' "$TMP/t4.png"
save "$RES/option_tab.png" "$TMP/t1.png" "$TMP/t2.png" "$TMP/t3.png" "$TMP/t4.png" +append

# --- check box and radio: 16x16 frames, four unchecked then four checked -----------------------
# A checked box in the disabled look keeps its mark in grey so the choice stays readable.
mark_frame() { # mark_frame SHAPE FILL LINE MARK OUT; SHAPE is box|radio, MARK is a colour or none
    local shape=$1 fill=$2 line=$3 mark=$4 out=$5 body glyph=()
    if [[ $shape == box ]]; then
        body='roundrectangle 1.5,1.5 14.5,14.5 3,3'
        [[ $mark != none ]] && glyph=(-fill none -stroke "$mark" -strokewidth 2
                                      -draw 'polyline 4.5,8 7,10.5 11.5,5.5')
    else
        body='circle 8,8 8,1.5'
        [[ $mark != none ]] && glyph=(-stroke none -fill "$mark" -draw 'circle 8,8 8,4.5')
    fi
    "$IM" -size 16x16 xc:none -fill "$fill" -stroke "$line" -strokewidth 1 -draw "$body" \
        "${glyph[@]}" "$out"
}
marks() { # marks NAME SHAPE
    local name=$1 shape=$2
    mark_frame "$shape" white '#8C96A5' none "$TMP/m1.png"
    mark_frame "$shape" '#F4FAFF' "$ACCENT" none "$TMP/m2.png"
    mark_frame "$shape" '#D6EBFC' "$ACCENT_DARK" none "$TMP/m3.png"
    mark_frame "$shape" "$OFF_FILL" "$OFF_LINE" none "$TMP/m4.png"
    if [[ $shape == box ]]; then
        mark_frame box "$ACCENT" "$ACCENT_DARK" white "$TMP/m5.png"
        mark_frame box '#5CB8FD' "$ACCENT" white "$TMP/m6.png"
        mark_frame box "$ACCENT_DARK" "$ACCENT_DEEP" white "$TMP/m7.png"
    else
        mark_frame radio white "$ACCENT_DARK" "$ACCENT" "$TMP/m5.png"
        mark_frame radio '#F4FAFF' "$ACCENT" '#5CB8FD' "$TMP/m6.png"
        mark_frame radio '#D6EBFC' "$ACCENT_DEEP" "$ACCENT_DARK" "$TMP/m7.png"
    fi
    mark_frame "$shape" "$OFF_FILL" "$OFF_LINE" '#A9B1BA' "$TMP/m8.png"
    save "$RES/$name" "$TMP"/m[1-8].png +append
}
marks 'checkbox(C0403).png' box
marks bt_radiobt.png radio

# --- rotation picture: 384x280, drawn at (8, 8) of the image options dialog ----------------------
# Two light panels (save folder at the top, rotation below) and above each angle choice a
# sample picture (sky, hill, sun) turned by 90, 180 and 270 degrees, with an arrow showing
# the turn. The dialog's controls lie on the panels; the bitmap has no alpha.
"$IM" -size 60x44 xc:'#CFE6FA' \
    -fill '#8CC084' -draw 'path "M 0,44 L 0,30 L 16,18 L 30,28 L 42,20 L 60,32 L 60,44 Z"' \
    -fill '#F5B942' -draw 'circle 46,11 46,5' \
    -fill none -stroke '#7A8796' -strokewidth 1 -draw 'rectangle 0,0 59,43' "$TMP/sample.png"
sample() { # sample ANGLE OUT: the sample turned, centred on a 100x70 tile
    "$IM" -size 100x70 xc:'#F6F8FA' \( "$TMP/sample.png" -rotate "$1" \) \
        -gravity center -composite "$2"
}
sample 90 "$TMP/s90.png"
sample 180 "$TMP/s180.png"
sample 270 "$TMP/s270.png"
"$IM" -size 384x280 xc:white \
    -fill '#F6F8FA' -stroke '#DDE2E8' -strokewidth 1 \
    -draw 'roundrectangle 8.5,4.5 375.5,72.5 6,6' \
    -draw 'roundrectangle 8.5,78.5 375.5,230.5 6,6' \
    "$TMP/s90.png" -geometry +27+116 -composite \
    "$TMP/s180.png" -geometry +137+116 -composite \
    "$TMP/s270.png" -geometry +247+116 -composite \
    -fill none -stroke "$ACCENT" -strokewidth 2 \
    -draw 'arc 96,112 116,132 270,60' -draw 'arc 206,112 226,132 270,60' \
    -draw 'arc 316,112 336,132 270,60' \
    -stroke none -fill "$ACCENT" \
    -draw 'path "M 107,127 L 113,133 L 114,125 Z"' \
    -draw 'path "M 217,127 L 223,133 L 224,125 Z"' \
    -draw 'path "M 327,127 L 333,133 L 334,125 Z"' \
    -alpha off -strip -type Palette "BMP3:$RES/option_image_rotate.bmp"
