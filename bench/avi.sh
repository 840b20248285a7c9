#!/usr/bin/env bash
# Frames per second of the video layer beside FFmpeg on the same frames, in
# one run: 300 frames of 1280 x 1024 (FFmpeg's testsrc2 pattern) written
# uncompressed and as MJPEG, then decoded frame by frame.
#   bench/avi.sh [BUILD_DIR] [FRAMES]
# FFmpeg writes with -c:v rawvideo -pix_fmt bgr24 and -c:v mjpeg -q:v 3 (the
# quantiser our quality 8500 maps to) and decodes with -f null; both sides
# use their default threading. Each measure runs REPEAT times (default 3);
# the best counts.
set -euo pipefail
build=${1:-build}
frames=${2:-300}
repeat=${REPEAT:-3}
width=1280
height=1024
driver="$build/bench/avi_bench"
[ -x "$driver" ] || { echo "avi.sh: build $driver first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "avi.sh: ffmpeg is needed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
raw="$work/frames.bgr"
ffmpeg -nostdin -loglevel error -f lavfi -i "testsrc2=size=${width}x${height}:rate=10" -frames:v "$frames" \
  -pix_fmt bgr24 -f rawvideo "$raw"

now() { date +%s.%N; }
best() { sort -g | head -n1; }

# Seconds of our driver: it prints "FRAMES SECONDS".
ours() { for _ in $(seq "$repeat"); do "$driver" "$@" | awk '{print $2}'; done | best; }
# Seconds of an ffmpeg command line, start to exit.
theirs() {
  for _ in $(seq "$repeat"); do
    local t0; t0=$(now)
    ffmpeg -nostdin -loglevel error "$@"
    echo "$(now) - $t0" | bc -l
  done | best
}
report() {  # label ours_seconds theirs_seconds
  awk -v label="$1" -v a="$2" -v b="$3" -v n="$frames" 'BEGIN {
    printf "%-22s stillweaver %8.1f fps   ffmpeg %8.1f fps   ratio %.2f\n", label, n / a, n / b, b / a }'
}

input=(-f rawvideo -pix_fmt bgr24 -s "${width}x${height}" -r 10 -i "$raw")
for codec in none MJPG; do
  if [ "$codec" = none ]; then label=uncompressed; args=(-c:v rawvideo -pix_fmt bgr24); else label=MJPEG; args=(-c:v mjpeg -q:v 3); fi
  w_ours=$(ours write "$raw" "$work/ours-$codec.avi" "$width" "$height" "$codec")
  w_theirs=$(theirs "${input[@]}" "${args[@]}" -y "$work/ffmpeg-$codec.avi")
  report "write $label" "$w_ours" "$w_theirs"
  r_ours=$(ours read "$work/ours-$codec.avi")
  r_theirs=$(theirs -i "$work/ours-$codec.avi" -f null -)
  report "read $label" "$r_ours" "$r_theirs"
done
