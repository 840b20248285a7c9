#!/usr/bin/env bash
# Playback against FFmpeg on generated 300-frame 1280x1024 AVIs (uncompressed,
# MJPEG, H.264), in one run: our loop at FPS 0 forwards, backwards and with
# WriteFiles on, beside `ffmpeg -f null` decoding and ffmpeg writing JPEGs.
#   bench/view-avi.sh [BUILD_DIR] [FRAMES]
set -euo pipefail
build=${1:-build}
frames=${2:-300}
driver="$build/bench/view_avi_bench"
[ -x "$driver" ] || { echo "view-avi.sh: build $driver first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "view-avi.sh: ffmpeg is needed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source="-f lavfi -i testsrc2=size=1280x1024:rate=25 -frames:v $frames"
echo "generating the clips..." >&2
ffmpeg -nostdin -loglevel error $source -c:v rawvideo -pix_fmt bgr24 "$work/raw.avi"
ffmpeg -nostdin -loglevel error $source -c:v mjpeg -q:v 3 "$work/mjpeg.avi"
ffmpeg -nostdin -loglevel error $source -c:v libx264 -pix_fmt yuv420p "$work/h264.avi"

now() { date +%s.%N; }
rate() {  # frames, command...: frames per second of the command
  local n=$1 t0 t1
  shift
  t0=$(now); "$@" >/dev/null 2>&1; t1=$(now)
  awk -v n="$n" -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", n / (b - a) }'
}
ours() {  # mode file
  (cd "$work/out" && "$driver" "$1" "$2") | awk '{ print $5 }'
}

mkdir -p "$work/out"
driver=$(realpath "$driver")
printf "%-6s %10s %10s %10s %10s %12s %12s\n" clip forward backward ffm-null export ffm-jpeg "(frames/s)"
for clip in raw mjpeg h264; do
  file="$work/$clip.avi"
  cat "$file" > /dev/null
  fwd=$(ours forward "$file")
  back=$(ours backward "$file")
  null=$(rate "$frames" ffmpeg -nostdin -i "$file" -f null -)
  rm -f "$work"/out/*
  exp=$(ours export "$file")
  rm -f "$work"/out/*
  jpeg=$(rate "$frames" ffmpeg -nostdin -i "$file" -q:v 5 "$work/out/ff%04d.jpg")
  rm -f "$work"/out/*
  printf "%-6s %10s %10s %10s %10s %12s\n" "$clip" "$fwd" "$back" "$null" "$exp" "$jpeg"
  awk -v c="$clip" -v f="$fwd" -v b="$back" -v n="$null" -v e="$exp" -v j="$jpeg" 'BEGIN {
    printf "       forward/ffmpeg %.2fx   backward/ffmpeg %.2fx   export/ffmpeg-jpeg %.2fx\n", f / n, b / n, e / j }'
done
