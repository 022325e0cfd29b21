# Shared by the benchmark scripts (sourced, from the project root): the cores, and the HD and SD
# jobs on the ffmpeg command line as the application's builder and engine do them.
CORES=$(nproc)
DEC_THREADS=$(( CORES >= 8 ? 8 : (CORES == 1 ? 0 : CORES) ))

# Fitted scale size for a 16:9 source (as the application's builder computes it).
geometry() { # outW outH srcW srcH -> "W H"
    local ow=$1 oh=$2 sw=$3 sh=$4 w h
    h=$oh; w=$(( sw * oh / sh ))
    echo "$(( w - w % 2 )) $(( h - h % 2 ))"
}

job_filter() { # job src scaler: the job's picture filter, sizing with that scaler
    local job=$1 src=$2 sw sh w h ow oh
    IFS=x read -r sw sh < <(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x "$src")
    if [ "$job" = HD ]; then ow=1280; oh=720; else ow=720; oh=480; fi
    read -r w h < <(geometry $ow $oh "$sw" "$sh")
    # The engine writes SD in BT.601; an HD source (BT.709 by its height) is converted.
    local colour=""
    [ "$job" = SD ] && [ "$sh" -ge 720 ] && colour="format=yuv420p,zscale=pin=1:tin=1:min=1:rin=tv:p=1:t=1:m=6:r=tv,format=yuv420p,"
    echo "scale=$w:$h:flags=$3,${colour}pad=w='max(iw,$ow)':h='max(ih,$oh)':x=(ow-iw)/2:y=(oh-ih)/2,crop=w='min(iw,$ow)':h='min(ih,$oh)',setsar=1,format=yuv420p,fps=30"
}

ffmpeg_args() { # job src out: the same job on the ffmpeg command line
    local job=$1 src=$2 out=$3 vf
    vf=$(job_filter "$job" "$src" bicubic)
    local args=(-v error -nostdin)
    [ "$DEC_THREADS" -gt 1 ] && args+=(-threads "$DEC_THREADS")
    args+=(-i "$src" -vf "$vf" -ar 44100)
    if [ "$job" = HD ]; then
        args+=(-c:v libx264 -b:v 5000k -level 30 -x264-params subme=1 -flags +global_header
               -c:a aac -b:a 128k -f mp4)
    else
        args+=(-c:v mpeg4 -b:v 1200k -vtag DX50 -c:a libmp3lame -b:a 128k -f avi)
    fi
    printf '%s\n' "${args[@]}" "$out"
}
