#!/usr/bin/env bash
# Pictures per second: load and stretch onto a 1280 x 1024 frame, ours against
# FFmpeg decoding and scaling the same files to bgr24, one core each, in one run.
#   bench/pictures.sh [BUILD_DIR] [COUNT]
# Data: COUNT 2592 x 1944 JPEGs (FFmpeg's test source) and COUNT 1392 x 1040
# 16-bit grey TIFFs holding 10-bit samples. Each side runs REPEAT times
# (default 3); the best run counts.
set -euo pipefail
build=${1:-build}
count=${2:-100}
repeat=${REPEAT:-3}
driver="$build/bench/picture_bench"
[ -x "$driver" ] || { echo "pictures.sh: build $driver first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "pictures.sh: ffmpeg is needed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/jpeg"
ffmpeg -nostdin -loglevel error -f lavfi -i "testsrc2=size=2592x1944:rate=10" -frames:v "$count" -q:v 3 \
  "$work/jpeg/pic%03d.jpg"
"$driver" make-tiffs "$work/tiff" "$count" 1392 1040

# One core for both: our driver is single-threaded; FFmpeg is told so too.
pin=()
command -v taskset >/dev/null && pin=(taskset -c 0)

now() { date +%s.%N; }
best() { sort -g | head -n1; }

measure_ours() {  # kind extension
  local times=() t0 t1
  for _ in $(seq "$repeat"); do
    t0=$(now)
    "${pin[@]}" "$driver" run 1280 1024 "$work/$1"/*."$2" > "$work/ours.txt"
    t1=$(now)
    times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")
  done
  printf '%s\n' "${times[@]}" | best
}

measure_ffmpeg() {  # kind extension
  local times=() t0 t1
  for _ in $(seq "$repeat"); do
    t0=$(now)
    "${pin[@]}" ffmpeg -nostdin -loglevel error -threads 1 -filter_threads 1 -f image2 -framerate 10 \
      -i "$work/$1/pic%03d.$2" -vf scale=1280:1024 -pix_fmt bgr24 -f null -
    t1=$(now)
    times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")
  done
  printf '%s\n' "${times[@]}" | best
}

report() {  # label kind extension
  cat "$work/$2"/*."$3" > /dev/null  # both sides read from the page cache
  local ours ffm
  ours=$(measure_ours "$2" "$3")
  local detail
  detail=$(cat "$work/ours.txt")
  ffm=$(measure_ffmpeg "$2" "$3")
  awk -v label="$1" -v n="$count" -v ours="$ours" -v ffm="$ffm" -v detail="$detail" 'BEGIN {
    printf "%-28s ours %7.2f pictures/s   ffmpeg %7.2f pictures/s   ratio %.2fx\n", label, n / ours, n / ffm, ffm / ours
    printf "%-28s (ours: %s)\n", "", detail
  }'
}

echo "pictures: $count per kind, stretched onto 1280x1024, best of $repeat runs, one core"
report "JPEG 2592x1944" jpeg jpg
report "TIFF 1392x1040 16-bit grey" tiff tif
