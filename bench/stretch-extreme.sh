#!/usr/bin/env bash
# Stretching pictures of extreme shape: RLE8 BMPs of under 1 KB that claim
# 10,000,000 x 1, 100,000,000 x 1 and other far-from-frame shapes, made into
# a 1280 x 1024 uncompressed AVI by stillweaver-cli and by FFmpeg (whose
# decoder refuses pictures above its size limit, and whose scaler refuses
# the most extreme ratios; its reason is printed). Each command runs RUNS
# times (default 3), alternating ours and FFmpeg; the medians, their ratio
# and each side's peak memory are printed.
#   bench/stretch-extreme.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
runs=${RUNS:-3}
cli="$build/cli/stillweaver-cli"
[ -x "$cli" ] || { echo "stretch-extreme.sh: build $cli first" >&2; exit 1; }
for tool in ffmpeg python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "stretch-extreme.sh: $tool is needed" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# WIDTH HEIGHT PATH: a 16-colour RLE8 BMP with a few runs on its first rows
# and the end-of-bitmap escape; the decoder fills the rest with colour 0.
make_bmp() {
  python3 - "$@" <<'EOF'
import math, struct, sys
width, height, path = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
palette = b''.join(struct.pack('<4B', i * 37 % 256, i * 91 % 256, i * 53 % 256, 0) for i in range(16))
rows = min(height, 100)
per_row = max(1, min(math.ceil(width / 255), 200 // rows))
count = min(255, width // per_row)
bits = b''
for y in range(rows):
    bits += b''.join(struct.pack('<2B', count, 1 + (y + i) % 15) for i in range(per_row)) + b'\0\0'
bits += b'\0\1'
offset = 14 + 40 + len(palette)
info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 8, 1, len(bits), 2835, 2835, 16, 0)
with open(path, 'wb') as f:
    f.write(b'BM' + struct.pack('<IHHI', offset + len(bits), 0, 0, offset) + info + palette + bits)
EOF
}

now() { date +%s.%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# OUT_PREFIX command...: appends the wall time to OUT_PREFIX.t and the peak
# resident memory (KiB) to OUT_PREFIX.kb; returns the command's status.
measure() {
  local prefix=$1 t0 t1 status=0
  shift
  t0=$(now)
  /usr/bin/time -v -o "$prefix.v" "$@" >/dev/null 2>"$prefix.err" || status=$?
  t1=$(now)
  awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }' >> "$prefix.t"
  awk -F': ' '/Maximum resident set size/ { print $2 }' "$prefix.v" >> "$prefix.kb"
  return $status
}

compare() {  # WIDTH HEIGHT
  local label="$1x$2" bmp="$work/$1x$2.bmp" ffmpeg_ok=1
  make_bmp "$1" "$2" "$bmp"
  rm -f "$work"/ours.* "$work"/ffmpeg.*
  for _ in $(seq "$runs"); do
    rm -f "$work/ours.avi" "$work/ffmpeg.avi"
    measure "$work/ours" "$cli" make --cols 1280 --rows 1024 -o "$work/ours.avi" "$bmp" ||
      { echo "$label: stillweaver-cli failed: $(cat "$work/ours.err")" >&2; return 1; }
    if [ "$ffmpeg_ok" = 1 ] && ! measure "$work/ffmpeg" ffmpeg -nostdin -loglevel error -y -i "$bmp" \
        -vf scale=1280:1024 -c:v rawvideo -pix_fmt bgr24 "$work/ffmpeg.avi"; then
      ffmpeg_ok=0
    fi
  done
  local ours ours_kb size
  ours=$(median < "$work/ours.t")
  ours_kb=$(median < "$work/ours.kb")
  size=$(stat -c %s "$bmp")
  if [ "$ffmpeg_ok" = 1 ]; then
    awk -v l="$label" -v s="$size" -v a="$ours" -v am="$ours_kb" -v b="$(median < "$work/ffmpeg.t")" \
        -v bm="$(median < "$work/ffmpeg.kb")" 'BEGIN {
      printf "%-16s %5d B   ours %7.2f s %6.0f MB   ffmpeg %7.2f s %6.0f MB   ratio %.2fx\n",
             l, s, a, am / 1024, b, bm / 1024, b / a
    }'
  else
    local why
    why=$(sed -n '1s/^\[[^]]*\] *//p' "$work/ffmpeg.err" | sed 's/^\[[^]]*\] *//')
    awk -v l="$label" -v s="$size" -v a="$ours" -v am="$ours_kb" -v why="$why" 'BEGIN {
      printf "%-16s %5d B   ours %7.2f s %6.0f MB   ffmpeg fails: %s\n", l, s, a, am / 1024, why
    }'
  fi
}

echo "stretch-extreme: RLE8 BMPs onto 1280x1024, uncompressed; median of $runs runs, peak memory;"
echo "ratio > 1 means ours is faster"
compare 10000000 1
compare 100000000 1
compare 1 10000000
compare 65536 1
compare 1 65536
compare 100000 100
compare 100 100000
