#!/usr/bin/env bash
# Times our engine standalone against the ffmpeg command line doing the same jobs with the
# same libraries: the HD job (MP4, H.264 5000 kbit/s level 3.0 subme 1, AAC 128 kbit/s) and
# the SD job (AVI, MPEG-4 tagged DX50 1200 kbit/s, MP3 128 kbit/s CBR), each with the same
# filters (scale, centred pad and crop, 30 fps), bit rates and threads. Runs alternate; the
# medians of wall time, CPU time and peak memory are printed with the ratios, and the PSNR
# of each output against the source taken through the same geometry. The SD job of an HD
# source converts the BT.709 matrix to BT.601 on both sides. Last, the HD job on a 1080p HLG
# clip against the same job on its SDR twin (same pictures, codec and bit depth): tone
# mapping may cost at most 1.25 x.
#
#   bench/engine_vs_ffmpeg.sh [build/bin/mencoder] [runs]
# BENCH_TWIN_ONLY=1 runs the last row alone. Needs ffmpeg and GNU time (Debian packages
# ffmpeg, time). Not part of the test run.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

ENGINE=${1:-build/bin/mencoder}
RUNS=${2:-3}
SECONDS_LONG=${BENCH_SECONDS:-20}
[ -x "$ENGINE" ] || { echo "no engine at $ENGINE (build it first)"; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is missing"; exit 1; }
[ -x /usr/bin/time ] || { echo "GNU time (/usr/bin/time) is missing"; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
source bench/jobs.sh

# Sources: moving, textured pictures (noise makes the encoders work as on film) with sound.
make_source() { # name width height
    ffmpeg -v error -y \
        -f lavfi -i "testsrc2=size=$2x$3:rate=30:duration=$SECONDS_LONG,noise=alls=12:allf=t" \
        -f lavfi -i "sine=frequency=330:sample_rate=48000:duration=$SECONDS_LONG" \
        -c:v libx264 -preset veryfast -b:v 8000k -c:a aac -b:a 160k -shortest "$WORK/$1.mp4"
}
echo "Making ${SECONDS_LONG}-second sources (1080p and 720p)..."
make_source src1080 1920 1080
[ -n "${BENCH_TWIN_ONLY:-}" ] || make_source src720 1280 720

b64() { # UTF-8 path -> Base64 of UTF-16LE, as the application passes names
    printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | base64 -w0
}


engine_args() { # job src out
    local job=$1 src=$2 out=$3 sw sh w h ow oh
    IFS=x read -r sw sh < <(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x "$src")
    if [ "$job" = HD ]; then ow=1280; oh=720; else ow=720; oh=480; fi
    read -r w h < <(geometry $ow $oh "$sw" "$sh")
    local args=(-mc 0 -ofps 30 -vf "scale=$w:$h" -vf-add "expand=$ow:$oh" -vf-add harddup -vf-add "crop=$ow:$oh"
                -af volume=0:1 -srate 44100)
    if [ "$job" = HD ]; then
        args+=(-ovc x264 -x264encopts bitrate=5000:global_header:level_idc=30:subq=1:threads=auto
               -oac faac -faacopts mpeg=4:object=2:raw:br=128 -of lavf -lavfopts format=mp4)
    else
        args+=(-ovc lavc -lavcopts vcodec=mpeg4:vbitrate=1200 -ffourcc DX50 -oac mp3lame -lameopts br=128:cbr)
    fi
    [ "$DEC_THREADS" -gt 1 ] && args+=(-lavdopts "threads=$DEC_THREADS")
    if [ "$CORES" -eq 1 ]; then args+=(-avthread)
    elif [ "$CORES" -le 6 ]; then args+=(-avthread -videofilterthread)
    else args+=(-avthread -videofilterthread -filterthread); fi
    printf '%s\n' "\"$(b64 "$src")\"" "${args[@]}" -o "\"$(b64 "$out")\"" -wchar
}


# Runs a command under GNU time; appends "wall user+sys maxrssKB" to the named file.
measure() { # resultfile cmd...
    local res=$1; shift
    /usr/bin/time -f "%e %U %S %M" -o "$WORK/t" "$@" 2>"$WORK/err" >/dev/null ||
        { echo "FAILED: $*"; cat "$WORK/err"; exit 1; }
    awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$WORK/t" >>"$res"
}

calc() { awk "BEGIN { print $1 }"; }

median() { # file column
    sort -n -k"$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'
}

psnr() { # output job src
    local out=$1 job=$2 src=$3
    # The reference: the source through the same geometry and colours, with a high-quality scaler.
    ffmpeg -nostdin -i "$out" -i "$src" -lavfi \
        "[1:v]$(job_filter "$job" "$src" lanczos)[ref];[0:v]setsar=1,format=yuv420p[o];[o][ref]psnr" \
        -f null - 2>&1 | sed -n 's/.*PSNR.* average:\([0-9.inf]*\).*/\1/p' | tail -1
}

report() { # label job src
    local label=$1 job=$2 src=$3 ext
    [ "$job" = HD ] && ext=mp4 || ext=avi
    : >"$WORK/eng.txt"; : >"$WORK/ff.txt"
    for ((i = 1; i <= RUNS; i++)); do
        rm -f "$WORK/eng.$ext" "$WORK/ff.$ext"
        mapfile -t ea < <(engine_args "$job" "$src" "$WORK/eng.$ext")
        # The engine is started as the application starts it: Base64 names, quotes removed.
        local argv=()
        for a in "${ea[@]}"; do argv+=("${a//\"/}"); done
        mapfile -t fa < <(ffmpeg_args "$job" "$src" "$WORK/ff.$ext")
        if ((i % 2)); then
            measure "$WORK/eng.txt" "$ENGINE" "${argv[@]}"
            measure "$WORK/ff.txt" ffmpeg "${fa[@]}"
        else
            measure "$WORK/ff.txt" ffmpeg "${fa[@]}"
            measure "$WORK/eng.txt" "$ENGINE" "${argv[@]}"
        fi
    done
    local ew fw ec fc em fm ep fp
    ew=$(median "$WORK/eng.txt" 1); fw=$(median "$WORK/ff.txt" 1)
    ec=$(median "$WORK/eng.txt" 2); fc=$(median "$WORK/ff.txt" 2)
    em=$(median "$WORK/eng.txt" 3); fm=$(median "$WORK/ff.txt" 3)
    ep=$(psnr "$WORK/eng.$ext" "$job" "$src"); fp=$(psnr "$WORK/ff.$ext" "$job" "$src")
    # "busy" is the share of all cores kept working; "floor" is the wall ratio our CPU time
    # would give with every core busy from start to end, the best any scheduling can reach.
    printf '%-12s %-8s wall %6.2fs  cpu %6.2fs  busy %5.1f%%  peak %6.1f MB  psnr %s dB\n' "$label" mencoder \
        "$ew" "$ec" "$(calc "100 * $ec / ($ew * $CORES)")" "$(calc "$em / 1024")" "$ep"
    printf '%-12s %-8s wall %6.2fs  cpu %6.2fs  busy %5.1f%%  peak %6.1f MB  psnr %s dB\n' "$label" ffmpeg \
        "$fw" "$fc" "$(calc "100 * $fc / ($fw * $CORES)")" "$(calc "$fm / 1024")" "$fp"
    printf '%-12s ratio    wall %6.3f     cpu %6.3f   floor %5.3f   peak %6.3f        psnr %+.2f dB\n' "$label" \
        "$(calc "$ew / $fw")" "$(calc "$ec / $fc")" "$(calc "$ec / $CORES / $fw")" "$(calc "$em / $fm")" \
        "$(calc "$ep - $fp")"
}

# The engine alone on two sources of the same job, runs alternating; prints both medians and
# the ratio of the first to the second.
twin_report() { # label job src twin limit
    local label=$1 job=$2 src=$3 twin=$4 limit=$5 a b ratio verdict
    : >"$WORK/a.txt"; : >"$WORK/b.txt"
    for ((i = 1; i <= RUNS; i++)); do
        for side in a b; do
            local from=$src; [ $side = b ] && from=$twin
            rm -f "$WORK/twin.mp4"
            mapfile -t ea < <(engine_args "$job" "$from" "$WORK/twin.mp4")
            local argv=()
            for x in "${ea[@]}"; do argv+=("${x//\"/}"); done
            measure "$WORK/$side.txt" "$ENGINE" "${argv[@]}"
        done
    done
    a=$(median "$WORK/a.txt" 1); b=$(median "$WORK/b.txt" 1)
    ratio=$(calc "$a / $b")
    verdict=$(awk -v r="$ratio" -v l="$limit" 'BEGIN { print (r <= l) ? "yes" : "NO" }')
    # CPU time hardly moves with what else the machine runs: its ratio is the steadier one.
    local ac bc
    ac=$(median "$WORK/a.txt" 2); bc=$(median "$WORK/b.txt" 2)
    printf '%-12s mencoder wall %6.2fs  cpu %6.2fs   SDR twin wall %6.2fs  cpu %6.2fs   ratio %5.3f (at most %s: %s)  cpu ratio %5.3f\n' \
        "$label" "$a" "$ac" "$b" "$bc" "$ratio" "$limit" "$verdict" "$(calc "$ac / $bc")"
}

echo "Making the 1080p HLG clip and its SDR twin (10-bit H.264, BT.2020 HLG / BT.709)..."
ffmpeg -v error -y -i "$WORK/src1080.mp4" -c:a copy \
    -vf "zscale=tin=709:min=709:pin=709:rin=tv:p=709:t=linear:npl=203,format=gbrpf32le,zscale=p=2020:t=arib-std-b67:m=2020_ncl:r=tv:npl=203,format=yuv420p10le" \
    -c:v libx264 -preset veryfast -b:v 8000k -color_primaries bt2020 -color_trc arib-std-b67 -colorspace bt2020nc \
    -color_range tv "$WORK/hlg1080.mp4"
ffmpeg -v error -y -i "$WORK/src1080.mp4" -c:a copy -vf format=yuv420p10le \
    -c:v libx264 -preset veryfast -b:v 8000k -color_primaries bt709 -color_trc bt709 -colorspace bt709 \
    -color_range tv "$WORK/sdr1080x.mp4"

echo "cores: $CORES, runs per side: $RUNS (alternating), medians shown"
if [ -z "${BENCH_TWIN_ONLY:-}" ]; then
    report "HD 1080p" HD "$WORK/src1080.mp4"
    report "SD 1080p" SD "$WORK/src1080.mp4"
    report "HD 720p" HD "$WORK/src720.mp4"
    report "SD 720p" SD "$WORK/src720.mp4"
fi
twin_report "HD HLG 1080p" HD "$WORK/hlg1080.mp4" "$WORK/sdr1080x.mp4" 1.25
