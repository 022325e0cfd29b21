#!/bin/sh
# Draws the skin images of the shared widgets into res/: the list header strip, the header's
# check-all box and the progress bar's track and fills. Magenta (#FF00FF) is the transparent
# colour; shapes are drawn without antialiasing so no edge blends into it.
# Needs ImageMagick's convert (a developer tool, not needed to build or run).
set -eu
cd "$(dirname "$0")/../../res"

bmp() { # bmp NAME CONVERT-ARGS...: writes NAME as a 24-bit BMP without alpha
    name=$1; shift
    convert "$@" -alpha off -type TrueColor "BMP3:$name"
}

# Header strip: a soft vertical gradient with a divider line at the bottom, stretched sideways.
bmp list_ctrl_title_bg.bmp \
    -size 4x24 gradient:'#FDFDFE-#E9EDF2' \
    \( -size 4x1 xc:'#C9D0D9' \) -append

# Two 18x18 squares side by side, unchecked left, checked right; the visible 13x13 box sits at
# (3, 5) inside its square, where the header's hit rectangle expects it.
bmp checkboxes.bmp +antialias \
    \( -size 18x18 xc:'#FF00FF' -fill white -stroke '#8C96A5' -strokewidth 1 \
       -draw 'roundrectangle 3,5 15,17 2,2' \) \
    \( -size 18x18 xc:'#FF00FF' -fill '#2D7BE5' -stroke '#2466C2' -strokewidth 1 \
       -draw 'roundrectangle 3,5 15,17 2,2' \
       -fill none -stroke white -strokewidth 2 -draw 'polyline 6,11 8,13 12,8' \) \
    +append

# Progress bar: 10 pixels high, the same in every column so that stretching keeps it clean;
# the top and bottom rows are magenta and show the window's background.
bar() { # bar NAME EDGE TOP BOTTOM
    bmp "$1" \
        -size 8x1 xc:'#FF00FF' \
        \( -size 8x1 xc:"$2" \) \
        \( -size 8x6 gradient:"$3-$4" \) \
        \( -size 8x1 xc:"$2" \) \
        -size 8x1 xc:'#FF00FF' \
        -append
}
bar progress_track.bmp '#CBD2DC' '#E3E7ED' '#EEF1F5'
bar progress_fill_current.bmp '#1F6AD0' '#5AA6F7' '#2C7CE6'
bar progress_fill_total.bmp '#1B9159' '#5ACB93' '#24A86A'
