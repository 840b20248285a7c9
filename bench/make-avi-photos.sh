#!/usr/bin/env bash
# Make-AVI against FFmpeg on real photographs, in one run: the camera
# photographs of Debian's lomiri-wallpapers-16.04 package (15 JPEGs of 1.5 to
# 16 megapixels, 12 progressive and 3 baseline), stretched to 1280x1024,
#   (a) uncompressed: ffmpeg -f concat ... -vf scale=1280:1024 -c:v rawvideo
#   (b) MJPEG:        ... -c:v mjpeg -q:v 3 (the quantiser our quality maps to)
# and the same on a second set made from them with ImageMagick: each shrunk
# to 1.5-2.5 megapixels (progressive or baseline and sampled as it was),
# near the frame, where decoding at half size does not apply.
# The package is installed here when missing; the photographs stay where it
# puts them. The list holds every photograph COPIES times (default 4). Each
# command runs RUNS times (default 5), alternating ours and FFmpeg, under GNU
# time; printed are the medians of wall time, CPU time (user + system), peak
# memory and page faults per picture, and the ratios ours/FFmpeg. Goals:
# wall at most 0.5; CPU at most 0.75 on the photographs (twice the frame or
# more), 0.9 near the frame; peak memory at most FFmpeg's + 50 MiB.
#   bench/make-avi-photos.sh [BUILD_DIR]     SETS="photos near" by default
set -euo pipefail
build=${1:-build}
runs=${RUNS:-5}
copies=${COPIES:-4}
package=lomiri-wallpapers-16.04
cli="$build/cli/stillweaver-cli"
[ -x "$cli" ] || { echo "make-avi-photos.sh: build $cli first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "make-avi-photos.sh: ffmpeg is needed" >&2; exit 1; }
command -v convert >/dev/null || { echo "make-avi-photos.sh: ImageMagick's convert is needed" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "make-avi-photos.sh: GNU time (package time) is needed" >&2; exit 1; }

if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
  echo "make-avi-photos.sh: installing $package" >&2
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "$package" >/dev/null ||
    { "${sudo[@]}" apt-get update -qq && "${sudo[@]}" apt-get install -y -qq --no-install-recommends "$package" >/dev/null; }
fi
mapfile -t photos < <(dpkg -L "$package" | grep -i '\.jpe\?g$' | sort)
[ ${#photos[@]} -gt 0 ] || { echo "make-avi-photos.sh: $package holds no JPEG" >&2; exit 1; }

# Both write their AVIs to memory (tmpfs) when there is one, so that the
# disk's write-back does not time them.
work=$(mktemp -d -p "$([ -d /dev/shm ] && [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")")
trap 'rm -rf "$work"' EXIT
cat "${photos[@]}" > /dev/null  # both sides read from the page cache

# The near set: the areas spread over 1.5-2.5 megapixels.
mkdir "$work/near"
near=()
i=0
for photo in "${photos[@]}"; do
  area=$((1500000 + (i * 7 % ${#photos[@]}) * 1000000 / ${#photos[@]}))
  i=$((i + 1))
  read -r interlace sampling < <(identify -format '%[interlace] %[jpeg:sampling-factor]\n' "$photo" | head -1)
  out="$work/near/$(basename "$photo")"
  convert "$photo" -resize "${area}@" -interlace "$([ "$interlace" = None ] && echo None || echo JPEG)" \
    -sampling-factor "$sampling" -quality 92 "$out"
  near+=("$out")
done

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# command...: appends "wall cpu peak_kib minor_faults" to $work/$side.t
timed() {
  local side=$1; shift
  /usr/bin/time -f '%e %U %S %M %R' -o "$work/time" "$@" >/dev/null 2>"$work/err" ||
    { cat "$work/err" >&2; echo "make-avi-photos.sh: $side failed" >&2; exit 1; }
  awk '{ print $1, $2 + $3, $4, $5 }' "$work/time" >> "$work/$side.t"
}
count() { "$cli" info "$1" | awk -F': ' '$1 == "frames" { print $2 }'; }

compare() {  # label our-options ffmpeg-options
  local label=$1 ours=$2 theirs=$3
  : > "$work/ours.t"; : > "$work/ffmpeg.t"
  for _ in $(seq "$runs"); do
    rm -f "$work/ours.avi" "$work/ffmpeg.avi"
    # shellcheck disable=SC2086
    timed ours "$cli" make --cols 1280 --rows 1024 --fps 10 $ours --list "$work/ours.txt" -o "$work/ours.avi"
    # shellcheck disable=SC2086
    timed ffmpeg ffmpeg -nostdin -loglevel error -y -f concat -safe 0 -i "$work/ffmpeg.txt" \
      -vf scale=1280:1024 -fps_mode passthrough $theirs "$work/ffmpeg.avi"
  done
  local n_ours n_theirs
  n_ours=$(count "$work/ours.avi")
  n_theirs=$(count "$work/ffmpeg.avi")
  [ "$n_ours" = "$frames" ] && [ "$n_theirs" = "$frames" ] ||
    { echo "make-avi-photos.sh: $label: $n_ours and $n_theirs frames, not $frames" >&2; exit 1; }
  local col
  for col in 1 2 3 4; do
    cut -d' ' -f$col "$work/ours.t" | median
    cut -d' ' -f$col "$work/ffmpeg.t" | median
  done | xargs | awk -v l="$label" -v n="$frames" -v cpu="$cpu_goal" '{
    printf "%-14s wall ours %6.2f s ffmpeg %6.2f s ratio %.2f (goal <= 0.50)   cpu ours %6.2f s ffmpeg %6.2f s ratio %.2f (goal <= %.2f)   peak ours %4.0f MiB ffmpeg %4.0f MiB (goal <= %.0f)   faults/picture ours %5.0f ffmpeg %5.0f\n",
      l, $1, $2, $1 / $2, $3, $4, $3 / $4, cpu, $5 / 1024, $6 / 1024, $6 / 1024 + 50, $7 / n, $8 / n
  }'
}

for set in ${SETS:-photos near}; do
  case $set in
    photos) list=("${photos[@]}"); cpu_goal=0.75; what="photographs of $package" ;;
    near) list=("${near[@]}"); cpu_goal=0.90; what="of them at 1.5-2.5 megapixels" ;;
    *) echo "make-avi-photos.sh: no set $set (photos, near)" >&2; exit 2 ;;
  esac
  for _ in $(seq "$copies"); do printf '%s\n' "${list[@]}"; done > "$work/ours.txt"
  sed "s/'/'\\\\''/g; s/.*/file '&'/" "$work/ours.txt" > "$work/ffmpeg.txt"
  frames=$(wc -l < "$work/ours.txt")
  echo "make-avi-photos: $frames frames ($copies x ${#list[@]} $what) -> 1280x1024 stretched; medians of $runs runs; ratios ours/ffmpeg"
  compare "$set raw" "" "-c:v rawvideo -pix_fmt bgr24"
  compare "$set MJPEG" "--codec MJPG" "-c:v mjpeg -q:v 3"
done
