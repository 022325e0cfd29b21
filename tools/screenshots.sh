#!/usr/bin/env bash
# Makes the user guide's pictures in docs/: the launcher, the movie and image options dialogs,
# and both pages in the middle of a run. Runs the real window under xvfb-run with a private
# home, on clips and pictures made here with ffmpeg. Needs a build (./run.sh or tools/setup.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target screenshot_tour mencoder res >/dev/null

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
mkdir -p "$TMP/home" "$TMP/media" docs
chmod 700 "$TMP/home"

clip() { # clip NAME SECONDS SIZE
    ffmpeg -v error -y -f lavfi -i "testsrc2=size=$3:rate=25:duration=$2" \
        -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$2" \
        -c:v libx264 -preset ultrafast -c:a aac "$TMP/media/$1"
}
clip "Holiday at the sea.mp4" 120 1280x720
clip "Birthday party.mp4" 20 640x480
clip "Garden concert.mp4" 45 640x360
# A download that stopped half-way.
head -c 200000 "$TMP/media/Birthday party.mp4" > "$TMP/media/Broken download.mp4"

ffmpeg -v error -y -f lavfi -i "mandelbrot=size=4000x3000" -vf scale=9000:6750 -frames:v 1 -q:v 3 "$TMP/picture.jpg"
pictures=()
for name in "Harbour at dawn" "Old town" "Mountain lake" "Market square" "Lighthouse" "Bridge" \
            "Vineyard" "Snowy forest"; do
    cp "$TMP/picture.jpg" "$TMP/media/$name.jpg"
    pictures+=("$TMP/media/$name.jpg")
done

HOME="$TMP/home" XDG_CONFIG_HOME="$TMP/home/.config" XDG_DATA_HOME="$TMP/home/.local/share" \
XDG_STATE_HOME="$TMP/home/.local/state" \
XDG_RUNTIME_DIR="$TMP/home/run" LANG=C.UTF-8 \
    xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
        # A window manager, where one is installed, puts frames and focus as a desktop does.
        if command -v openbox >/dev/null; then openbox & sleep 1; fi
        exec "$@"' tour \
    build/bin/screenshot_tour docs "$TMP/media/Broken download.mp4" "$TMP/media/Holiday at the sea.mp4" \
        "$TMP/media/Birthday party.mp4" "$TMP/media/Garden concert.mp4" -- "${pictures[@]}"
echo "Pictures in docs/ and docs/screenshots/"
