#!/usr/bin/env bash
# Playback as a user sees it: the main dialog plays generated AVIs under Xvfb
# and the video surface's paints are counted (play_surface_bench), beside the
# file's rate and FFmpeg decoding the same file alone:
#   1080p H.264 at 60 fps, forward and backward
#   2160p (4K) MJPEG at 30 fps, forward and backward
#   4K H.264 at 30 fps, backward (each frame decoded from its key frame on)
# Goal: forward at the file's rate.
#   bench/play.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
build=${1:-build}
seconds=${2:-6}
driver="$build/bench/play_surface_bench"
[ -x "$driver" ] || { echo "play.sh: build $driver first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "play.sh: ffmpeg is needed" >&2; exit 1; }
command -v Xvfb >/dev/null || { echo "play.sh: Xvfb is needed" >&2; exit 1; }

work=$(mktemp -d)
xvfb=
cleanup() { [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1

echo "generating the clips..." >&2
gen() {  # name size rate seconds codec-options...
  local name=$1 size=$2 rate=$3 length=$4
  shift 4
  ffmpeg -nostdin -loglevel error -f lavfi -i "testsrc2=size=$size:rate=$rate" -t "$length" "$@" "$work/$name.avi"
}
gen h264-1080p60 1920x1080 60 $((seconds + 3)) -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 60
gen mjpeg-2160p30 3840x2160 30 $((seconds + 3)) -c:v mjpeg -q:v 3 -pix_fmt yuvj420p
gen h264-2160p30 3840x2160 30 $((seconds + 3)) -c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 30

decode_rate() {  # file: frames per second of ffmpeg decoding it alone
  local frames t0 t1
  frames=$(ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets -of csv=p=0 "$1")
  t0=$(date +%s.%N); ffmpeg -nostdin -loglevel error -i "$1" -f null -; t1=$(date +%s.%N)
  awk -v n="$frames" -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", n / (b - a) }'
}

printf "%-14s %5s %9s %10s %14s %16s\n" clip rate direction shown/s "cpu-ms/frame" "ffmpeg-decode/s"
for run in h264-1080p60:60:forward h264-1080p60:60:backward mjpeg-2160p30:30:forward mjpeg-2160p30:30:backward \
  h264-2160p30:30:backward; do
  IFS=: read -r clip rate direction <<<"$run"
  file="$work/$clip.avi"
  cat "$file" > /dev/null
  read -r shown cpu < <(DISPLAY=$display QT_QPA_PLATFORM=xcb "$driver" "$file" "$direction" "$seconds" 2>/dev/null |
    sed 's|.*: \([0-9.]*\) frames/s, \([0-9.]*\) ms.*|\1 \2|')
  printf "%-14s %5s %9s %10s %14s %16s\n" "$clip" "$rate" "$direction" "$shown" "$cpu" "$(decode_rate "$file")"
done
