#!/usr/bin/env bash
# Converts photo-like 4000 x 3000 JPEG files into the HD box (1280 x 720, quality 100), one
# picture after another, with our image run (build/bin/image_bench) and with its peers,
# ImageMagick's convert and vipsthumbnail (ffmpeg too, for reference); prints pictures per
# second, our ratio to each and whether ours reaches 6 x ImageMagick and 3.5 x vipsthumbnail.
# Then the same for a batch of tagged photos (Adobe RGB profile embedded), which every
# contender converts to sRGB.
# Each batch is converted [runs] times by every contender in turn; the medians are shown, since
# a single run of a peer moves by a few per cent from one minute to the next.
# Usage: bench/images_vs_peers.sh [count] [runs] (defaults 20 and 3). Not a test.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

count=${1:-20}
runs=${2:-3}
bench=build/bin/image_bench
[ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target image_bench >/dev/null

missing=0
need() {   # program, Debian package
    if ! command -v "$1" >/dev/null; then
        echo "$1 is missing: install it with 'sudo apt-get install $2' to compare with it" >&2
        missing=1
    fi
}
need convert imagemagick
need vipsthumbnail libvips-tools
need ffmpeg ffmpeg
need bc bc
command -v ffmpeg >/dev/null && command -v bc >/dev/null || exit 2

work=$(mktemp -d "${TMPDIR:-/tmp}/image-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in"
echo "Making $count photo-like 4000 x 3000 JPEG files..."
ffmpeg -v error -f lavfi -i "testsrc2=size=4000x3000:rate=1,noise=alls=12:allf=t" \
    -frames:v "$count" -q:v 2 "$work/in/photo %02d.jpg"
du -sh "$work/in" | awk '{print "  " $1 " in all"}'

# "wall cpu" seconds spent by a command (cpu = user + system of it and its children), so that
# a busy machine shows in the wall figure but not in the processor time per picture.
seconds() {
    local TIMEFORMAT='%R %U %S' out
    out=$( { time "$@" >/dev/null 2>&1; } 2>&1 )
    echo "$out" | awk '{ printf "%s %s\n", $1, $2 + $3 }'
}
rate() { echo "scale=2; $count / $1" | bc -l; }
cpu_ms() { echo "scale=0; 1000 * $1 / $count" | bc -l; }

# Drop the page cache effect: every contender reads files already in memory.
cat "$work"/in/*.jpg >/dev/null

# Every contender's "wall cpu" figures, one line a run; then the medians as rates and ms.
declare -A times rates cpus
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
measure_all() {   # name:function ..., each in turn, runs times
    local r pair name t
    times=()
    for ((r = 0; r < runs; r++)); do
        for pair in "$@"; do
            name=${pair%%:*}
            t=$(seconds "${pair#*:}")
            times[$name]+="$t"$'\n'
        done
    done
    rates=() cpus=()
    for pair in "$@"; do
        name=${pair%%:*}
        rates[$name]=$(rate "$(printf '%s' "${times[$name]}" | cut -d' ' -f1 | median)")
        cpus[$name]=$(cpu_ms "$(printf '%s' "${times[$name]}" | cut -d' ' -f2 | median)")
    done
}

# Each contender starts from an empty output folder, so that no name is ever taken.
run_ours() { rm -rf "$work/ours" && mkdir -p "$work/ours" && "$bench" "$work/in" "$work/ours" 1280 720; }
contenders=(framepress:run_ours)
magick=$(command -v convert || true)
if [ -n "$magick" ]; then
    run_magick() {
        rm -rf "$work/magick" && mkdir -p "$work/magick"
        for f in "$work"/in/*.jpg; do "$magick" "$f" -resize 1280x720 -quality 100 "$work/magick/$(basename "$f")"; done
    }
    contenders+=(imagemagick:run_magick)
fi
run_ffmpeg() {
    rm -rf "$work/ffmpeg" && mkdir -p "$work/ffmpeg"
    for f in "$work"/in/*.jpg; do
        ffmpeg -v error -i "$f" -vf "scale=960:720:flags=area" -q:v 1 "$work/ffmpeg/$(basename "$f")"
    done
}
contenders+=(ffmpeg:run_ffmpeg)
if command -v vipsthumbnail >/dev/null; then
    run_vips() {
        rm -rf "$work/vips" && mkdir -p "$work/vips"
        for f in "$work"/in/*.jpg; do vipsthumbnail "$f" -s 1280x720 -o "$work/vips/%s.jpg[Q=100]"; done
    }
    contenders+=(vipsthumbnail:run_vips)
fi
measure_all "${contenders[@]}"

echo "$count pictures, 4000 x 3000 to 960 x 720, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg), medians of $runs runs:"
printf '  %-14s %12s %14s %12s\n' "" "pictures/s" "ours is x" "cpu ms each"
for name in framepress imagemagick ffmpeg vipsthumbnail; do
    [ -n "${rates[$name]:-}" ] || continue
    ratio=-
    [ "$name" = framepress ] || ratio=$(echo "scale=2; ${rates[framepress]} / ${rates[$name]}" | bc -l)
    printf '  %-14s %12s %14s %12s\n' "$name" "${rates[$name]}" "$ratio" "${cpus[$name]}"
done
identify_size() { python3 - "$1" <<'PY' 2>/dev/null || true
import struct, sys
data = open(sys.argv[1], 'rb').read()
i = 2
while i < len(data):
    if data[i] != 0xFF: break
    m = data[i + 1]; l = struct.unpack('>H', data[i + 2:i + 4])[0]
    if m in (0xC0, 0xC1, 0xC2):
        h, w = struct.unpack('>HH', data[i + 5:i + 9]); print(f'{w} x {h}'); break
    i += 2 + l
PY
}
verdict() {   # peer, factor
    [ -n "${rates[$1]:-}" ] || { echo "  $1: not measured"; return; }
    if [ "$(echo "${rates[framepress]} >= $2 * ${rates[$1]}" | bc -l)" = 1 ]; then
        echo "  at least $2 x $1: yes"
    else
        echo "  at least $2 x $1: NO"
    fi
}
verdict imagemagick 6
verdict vipsthumbnail 3.5
echo "  our output: $(identify_size "$(ls "$work"/ours/*.jpg | head -1)")"

profile=/usr/share/color/icc/colord/AdobeRGB1998.icc
if [ -f "$profile" ] && [ -n "$magick" ]; then
    echo "Making $count tagged photos (the same files with an Adobe RGB profile embedded)..."
    mkdir -p "$work/tagged"
    # An APP2 segment right after the start marker; the compressed picture stays as it was.
    python3 - "$profile" "$work/in" "$work/tagged" <<'PY'
import os, struct, sys
icc = open(sys.argv[1], 'rb').read()
segment = b'\xff\xe2' + struct.pack('>H', 2 + 14 + len(icc)) + b'ICC_PROFILE\0\x01\x01' + icc
for name in sorted(os.listdir(sys.argv[2])):
    data = open(os.path.join(sys.argv[2], name), 'rb').read()
    open(os.path.join(sys.argv[3], name), 'wb').write(data[:2] + segment + data[2:])
PY
    cat "$work"/tagged/*.jpg >/dev/null
    run_ours_tagged() {
        rm -rf "$work/ours-tagged" && mkdir -p "$work/ours-tagged"
        "$bench" "$work/tagged" "$work/ours-tagged" 1280 720
    }
    run_magick_tagged() {
        rm -rf "$work/magick-tagged" && mkdir -p "$work/magick-tagged"
        for f in "$work"/tagged/*.jpg; do
            "$magick" "$f" -resize 1280x720 -profile /usr/share/color/icc/colord/sRGB.icc -strip -quality 100 \
                "$work/magick-tagged/$(basename "$f")"
        done
    }
    contenders=(framepress:run_ours_tagged imagemagick:run_magick_tagged)
    if command -v vipsthumbnail >/dev/null; then
        run_vips_tagged() {
            rm -rf "$work/vips-tagged" && mkdir -p "$work/vips-tagged"
            for f in "$work"/tagged/*.jpg; do
                vipsthumbnail "$f" -s 1280x720 --export-profile srgb -o "$work/vips-tagged/%s.jpg[Q=100,strip]"
            done
        }
        contenders+=(vipsthumbnail:run_vips_tagged)
    fi
    measure_all "${contenders[@]}"
    echo "$count tagged pictures, converted to sRGB, medians of $runs runs:"
    printf '  %-14s %12s %14s %12s\n' "" "pictures/s" "ours is x" "cpu ms each"
    for name in framepress imagemagick vipsthumbnail; do
        [ -n "${rates[$name]:-}" ] || continue
        ratio=-
        [ "$name" = framepress ] || ratio=$(echo "scale=2; ${rates[framepress]} / ${rates[$name]}" | bc -l)
        printf '  %-14s %12s %14s %12s\n' "$name" "${rates[$name]}" "$ratio" "${cpus[$name]}"
    done
    verdict vipsthumbnail 3.5
fi
exit $missing
