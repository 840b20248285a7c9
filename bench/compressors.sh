#!/usr/bin/env bash
# Every compressor against FFmpeg with matching settings, in one run: the same
# 60 frames of real photographs (Debian's lomiri-wallpapers-16.04, see
# make-avi-photos.sh) stretched to 1920x1080 at 10 fps, written by
# `stillweaver-cli make --codec C` and by ffmpeg with that codec's settings
# (quality 85: quantiser 3, x264 CRF 20 preset fast; key frame every 10 frames;
# no B-frames). Prints the medians of RUNS runs (default 3) of wall time and
# the ratios ours/FFmpeg of wall time and file size. Goal: wall at most 1.0.
# Then the jump: the time to show frame 58 (8 frames past a key frame with
# the defaults) of our H.264 file, beside the same file with a key frame
# every 250 frames, as the compressor placed them before.
#   bench/compressors.sh [BUILD_DIR]        CODECS="MJPG H264" to pick
set -euo pipefail
build=${1:-build}
runs=${RUNS:-3}
codecs=${CODECS:-none MJPG H264 FMP4 FFV1 HFYU cvid MSVC}
package=lomiri-wallpapers-16.04
cli="$build/cli/stillweaver-cli"
[ -x "$cli" ] || { echo "compressors.sh: build $cli first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "compressors.sh: ffmpeg is needed" >&2; exit 1; }
if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
  echo "compressors.sh: install $package (bench/make-avi-photos.sh does)" >&2
  exit 1
fi
mapfile -t photos < <(dpkg -L "$package" | grep -i '\.jpe\?g$' | sort)

work=$(mktemp -d -p "$([ -d /dev/shm ] && [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")")
trap 'rm -rf "$work"' EXIT
for i in $(seq 0 59); do printf '%s\n' "${photos[$((i % ${#photos[@]}))]}"; done > "$work/ours.txt"
sed "s/'/'\\\\''/g; s/.*/file '&'\nduration 0.1/" "$work/ours.txt" > "$work/ffmpeg.txt"

ffmpeg_args() {  # codec: FFmpeg's settings matching ours
  case $1 in
    none) echo "-c:v rawvideo -pix_fmt bgr24" ;;
    MJPG) echo "-c:v mjpeg -q:v 3 -pix_fmt yuvj420p" ;;
    H264) echo "-c:v libx264 -preset fast -tune zerolatency -profile:v high -crf 20 -g 10 -bf 0 -pix_fmt yuv420p" ;;
    FMP4) echo "-c:v mpeg4 -vtag FMP4 -q:v 3 -g 10 -bf 0 -pix_fmt yuv420p" ;;
    FFV1) echo "-c:v ffv1 -level 3 -g 1 -pix_fmt 0rgb" ;;
    HFYU) echo "-c:v huffyuv -pix_fmt rgb24" ;;
    cvid) echo "-c:v cinepak -g 10 -pix_fmt rgb24" ;;
    MSVC) echo "-c:v msvideo1 -keyint_min 9 -pix_fmt rgb555le" ;;
  esac
}
wall() {  # command...: seconds
  local t0 t1
  t0=$(date +%s.%N); "$@" >/dev/null 2>&1; t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

cat "${photos[@]}" > /dev/null
printf "%-5s %9s %9s %9s %11s %11s %9s\n" codec ours-s ffmpeg-s wall-ratio ours-MB ffmpeg-MB size-ratio
for codec in $codecs; do
  ours=() theirs=()
  for _ in $(seq "$runs"); do
    rm -f "$work/ours.avi" "$work/ffmpeg.avi"
    ours+=("$(wall "$cli" make --cols 1920 --rows 1080 --fps 10 --codec "$codec" --list "$work/ours.txt" -o "$work/ours.avi")")
    # shellcheck disable=SC2046
    theirs+=("$(wall ffmpeg -nostdin -y -f concat -safe 0 -i "$work/ffmpeg.txt" -vf scale=1920:1080 -r 10 \
      $(ffmpeg_args "$codec") "$work/ffmpeg.avi")")
  done
  o=$(printf '%s\n' "${ours[@]}" | median)
  t=$(printf '%s\n' "${theirs[@]}" | median)
  os=$(stat -c %s "$work/ours.avi")
  ts=$(stat -c %s "$work/ffmpeg.avi")
  awk -v c="$codec" -v o="$o" -v t="$t" -v os="$os" -v ts="$ts" 'BEGIN {
    printf "%-5s %9.2f %9.2f %9.2f %11.1f %11.1f %9.2f\n", c, o, t, o / t, os / 1048576, ts / 1048576, os / ts }'
done

# The jump: export one frame, which decodes from the key frame at or before it.
jump() {  # file: median seconds to show frame 58
  local times=()
  for _ in $(seq "$runs"); do
    rm -rf "$work/frames" && mkdir "$work/frames"
    times+=("$(wall "$cli" export --first 58 --last 58 --dir "$work/frames" "$1")")
  done
  printf '%s\n' "${times[@]}" | median
}
"$cli" make --cols 1920 --rows 1080 --fps 10 --codec H264 --list "$work/ours.txt" -o "$work/h264.avi" >/dev/null
"$cli" make --cols 1920 --rows 1080 --fps 10 --codec H264 --keyint 250 --list "$work/ours.txt" -o "$work/h264-250.avi" >/dev/null
printf "jump to frame 58 of 1080p H.264: %.2f s with a key frame every 10 frames, %.2f s with one every 250\n" \
  "$(jump "$work/h264.avi")" "$(jump "$work/h264-250.avi")"
