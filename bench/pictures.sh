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
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { print b - a }'; }

run_ours() {  # kind extension
  "${pin[@]}" "$driver" run 1280 1024 "$work/$1"/*."$2" > "$work/ours.txt"
}

run_ffmpeg() {  # kind extension
  "${pin[@]}" ffmpeg -nostdin -loglevel error -threads 1 -filter_threads 1 -f image2 -framerate 10 \
    -i "$work/$1/pic%03d.$2" -vf scale=1280:1024 -pix_fmt bgr24 -f null -
}

report() {  # label kind extension
  cat "$work/$2"/*."$3" > /dev/null  # both sides read from the page cache
  local ours=999999 ffm=999999 t0 t1 t
  # Alternate the two so a busy moment on the machine hits both alike.
  for _ in $(seq "$repeat"); do
    t0=$(now); run_ours "$2" "$3"; t1=$(now)
    t=$(elapsed "$t0" "$t1"); ours=$(awk -v a="$ours" -v b="$t" 'BEGIN { print (b < a ? b : a) }')
    t0=$(now); run_ffmpeg "$2" "$3"; t1=$(now)
    t=$(elapsed "$t0" "$t1"); ffm=$(awk -v a="$ffm" -v b="$t" 'BEGIN { print (b < a ? b : a) }')
  done
  awk -v label="$1" -v n="$count" -v ours="$ours" -v ffm="$ffm" -v detail="$(cat "$work/ours.txt")" 'BEGIN {
    printf "%-28s ours %7.2f pictures/s   ffmpeg %7.2f pictures/s   ratio %.2fx\n", label, n / ours, n / ffm, ffm / ours
    split(detail, f, " ")
    printf "%-28s ours per picture, last run: load %s ms, stretch %s ms\n", "", f[10], f[12]
  }'
}

echo "pictures: $count per kind, stretched onto 1280x1024, best of $repeat runs, one core"
report "JPEG 2592x1944" jpeg jpg
report "TIFF 1392x1040 16-bit grey" tiff tif
