#!/usr/bin/env bash
# How good the movie page's time-left estimate is, and what a whole batch costs.
#
# 1. A mixed batch (short and long clips, 360p to 1080p, 25 to 60 fps, a song) goes through the
#    real movie run and engine without a window (build/bin/eta_bench); the batch estimate's
#    error is printed at each tenth of the batch, and its largest error at any sample after the
#    first tenth (goal: within ±15 %; in the last 6.7 s, where one of the figure's whole seconds
#    is more than 15 %, within a second).
# 2. Ten 5-second 1080p clips go through the same movie run, probing, engine start-up and the
#    gaps between files included, against a shell loop of the ffmpeg command line doing the same
#    HD jobs one after another (goal: at most 0.95 × the loop).
#
#   bench/eta_accuracy.sh [build/bin/eta_bench] [runs]
# Needs ffmpeg. Not part of the test run; a busy machine makes the figures noisy.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source bench/jobs.sh

BENCH=${1:-build/bin/eta_bench}
RUNS=${2:-3}
[ -x "$BENCH" ] || { echo "no eta_bench at $BENCH (build it first: cmake --build build --target eta_bench mencoder)"; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is missing"; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/mixed" "$WORK/ten" "$WORK/out"

clip() { # path seconds size rate: moving, textured pictures with sound
    ffmpeg -v error -y -f lavfi -i "testsrc2=size=$3:rate=$4:duration=$2,noise=alls=12:allf=t" \
        -f lavfi -i "sine=frequency=330:sample_rate=48000:duration=$2" \
        -c:v libx264 -preset veryfast -b:v 8000k -c:a aac -b:a 160k -shortest "$1"
}

echo "Making the mixed batch..."
clip "$WORK/mixed/01 short 1080p.mp4" 5 1920x1080 30
clip "$WORK/mixed/02 long 720p.mp4" 30 1280x720 30
clip "$WORK/mixed/03 480p.mp4" 20 854x480 30
clip "$WORK/mixed/04 1080p.mp4" 20 1920x1080 30
clip "$WORK/mixed/05 long 360p.mp4" 40 640x360 25
clip "$WORK/mixed/06 720p60.mp4" 10 1280x720 60
clip "$WORK/mixed/07 1080p.mp4" 8 1920x1080 30
clip "$WORK/mixed/08 480p.mp4" 15 854x480 30
ffmpeg -v error -y -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=60" -c:a aac "$WORK/mixed/09 song.m4a"
clip "$WORK/mixed/10 1080p.mp4" 12 1920x1080 30

echo
echo "Time left of a mixed batch (HD job):"
"$BENCH" --save "$WORK/out" "$WORK"/mixed/*

echo
echo "Making ten 5-second 1080p clips..."
clip "$WORK/ten/clip.mp4" 5 1920x1080 30
for i in 01 02 03 04 05 06 07 08 09 10; do cp "$WORK/ten/clip.mp4" "$WORK/ten/clip $i.mp4"; done
rm "$WORK/ten/clip.mp4"

ours=() loop=()
for run in $(seq "$RUNS"); do
    rm -rf "$WORK/out" && mkdir -p "$WORK/out"
    ours+=("$("$BENCH" --save "$WORK/out" "$WORK"/ten/*.mp4 | awk '/^wall/ { print $2 }')")
    rm -rf "$WORK/out" && mkdir -p "$WORK/out"
    start=$(date +%s.%N)
    for src in "$WORK"/ten/*.mp4; do
        mapfile -t args < <(ffmpeg_args HD "$src" "$WORK/out/$(basename "$src")")
        ffmpeg "${args[@]}"
    done
    loop+=("$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%.2f", e - s }')")
done
median() { printf '%s\n' "$@" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
m_ours=$(median "${ours[@]}")
m_loop=$(median "${loop[@]}")
echo
echo "Ten 5-second 1080p clips, HD job, medians of $RUNS alternating runs:"
printf '  movie run: %s s (%s)\n  ffmpeg loop: %s s (%s)\n' "$m_ours" "${ours[*]}" "$m_loop" "${loop[*]}"
awk -v a="$m_ours" -v b="$m_loop" 'BEGIN { printf "  ratio: %.3f (goal: at most 0.95)\n", a / b }'
