#!/usr/bin/env bash
# Make-AVI against FFmpeg on the same generated pictures, in one run:
#   (a) JPEG 2592x1944 -> 1280x1024 stretched, uncompressed
#   (b) the same through MJPEG (ffmpeg: -c:v mjpeg -q:v 3)
#   (c) 16-bit grey TIFF 1392x1040 -> 1280x1024 clipped, uncompressed
# Each command runs RUNS times (default 5), alternating ours and FFmpeg; the
# medians and their ratio are printed, with our peak memory.
#   bench/make-avi.sh [BUILD_DIR] [JPEG_COUNT] [TIFF_COUNT]
set -euo pipefail
build=${1:-build}
jpegs=${2:-200}
tiffs=${3:-100}
runs=${RUNS:-5}
cli="$build/cli/stillweaver-cli"
pictures="$build/bench/picture_bench"
for tool in "$cli" "$pictures"; do
  [ -x "$tool" ] || { echo "make-avi.sh: build $tool first" >&2; exit 1; }
done
command -v ffmpeg >/dev/null || { echo "make-avi.sh: ffmpeg is needed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/jpeg"
echo "generating $jpegs JPEGs and $tiffs TIFFs..." >&2
ffmpeg -nostdin -loglevel error -f lavfi -i "testsrc2=size=2592x1944:rate=10" -frames:v "$jpegs" -q:v 3 \
  "$work/jpeg/pic%03d.jpg"
"$pictures" make-tiffs "$work/tiff" "$tiffs" 1392 1040 >/dev/null
ls "$work"/jpeg/*.jpg > "$work/jpeg.txt"
ls "$work"/tiff/*.tif > "$work/tiff.txt"
cat "$work"/jpeg/* "$work"/tiff/* > /dev/null  # both sides read from the page cache

now() { date +%s.%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
peak_kb() {  # command...: peak resident memory in KiB, or "?" without GNU time
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f %M -o "$work/peak" "$@" >/dev/null 2>&1 && cat "$work/peak"
  else
    "$@" >/dev/null 2>&1; echo "?"
  fi
}

compare() {  # label "our args" "ffmpeg args"
  local label=$1 ours=$2 theirs=$3 t0 t1
  : > "$work/ours.t"; : > "$work/ffmpeg.t"
  for _ in $(seq "$runs"); do
    rm -f "$work/ours.avi" "$work/ffmpeg.avi"
    t0=$(now); eval "\"$cli\" make $ours -o \"$work/ours.avi\"" >/dev/null; t1=$(now)
    awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }' >> "$work/ours.t"
    t0=$(now); eval "ffmpeg -nostdin -loglevel error -y $theirs \"$work/ffmpeg.avi\""; t1=$(now)
    awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }' >> "$work/ffmpeg.t"
  done
  local mine theirs_t peak frames
  mine=$(median < "$work/ours.t")
  theirs_t=$(median < "$work/ffmpeg.t")
  peak=$(peak_kb bash -c "\"$cli\" make $ours -o \"$work/ours.avi\"")
  frames=$("$cli" info "$work/ours.avi" | awk -F': ' '$1 == "frames" { print $2 }')
  awk -v l="$label" -v a="$mine" -v b="$theirs_t" -v p="$peak" -v f="$frames" 'BEGIN {
    printf "%-34s ours %6.2f s   ffmpeg %6.2f s   ratio %.2fx   (%s frames, our peak %s MB)\n",
           l, a, b, b / a, f, (p == "?" ? "?" : sprintf("%.0f", p / 1024))
  }'
}

echo "make-avi: median of $runs runs each; ratio > 1 means ours is faster"
compare "JPEG 2592x1944 -> 1280x1024, raw" \
  "--cols 1280 --rows 1024 --fps 10 --list \"$work/jpeg.txt\"" \
  "-framerate 10 -i \"$work/jpeg/pic%03d.jpg\" -vf scale=1280:1024 -c:v rawvideo -pix_fmt bgr24"
compare "JPEG 2592x1944 -> 1280x1024, MJPEG" \
  "--cols 1280 --rows 1024 --fps 10 --codec MJPG --list \"$work/jpeg.txt\"" \
  "-framerate 10 -i \"$work/jpeg/pic%03d.jpg\" -vf scale=1280:1024 -c:v mjpeg -q:v 3"
compare "TIFF 1392x1040 16-bit, clipped, raw" \
  "--cols 1280 --rows 1024 --fps 10 --clip --list \"$work/tiff.txt\"" \
  "-framerate 10 -i \"$work/tiff/pic%03d.tif\" -vf crop=1280:1024 -c:v rawvideo -pix_fmt bgr24"
