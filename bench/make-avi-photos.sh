#!/usr/bin/env bash
# Make-AVI against FFmpeg on real photographs, in one run: the camera
# photographs of Debian's lomiri-wallpapers-16.04 package (15 JPEGs of 1.5 to
# 16 megapixels, 12 progressive and 3 baseline), stretched to 1280x1024,
#   (a) uncompressed: ffmpeg -f concat ... -vf scale=1280:1024 -c:v rawvideo
#   (b) MJPEG:        ... -c:v mjpeg -q:v 3 (the quantiser our quality maps to)
# The package is installed here when missing; the photographs stay where it
# puts them. The list holds every photograph COPIES times (default 4). Each
# command runs RUNS times (default 5), alternating ours and FFmpeg, under GNU
# time; printed are the medians of wall time, CPU time (user + system) and
# peak memory, and the ratios ours/FFmpeg. Goals: wall at most 0.5, CPU at
# most 1.0, peak memory at most FFmpeg's + 50 MiB.
#   bench/make-avi-photos.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
runs=${RUNS:-5}
copies=${COPIES:-4}
package=lomiri-wallpapers-16.04
cli="$build/cli/stillweaver-cli"
[ -x "$cli" ] || { echo "make-avi-photos.sh: build $cli first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "make-avi-photos.sh: ffmpeg is needed" >&2; exit 1; }
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
for _ in $(seq "$copies"); do printf '%s\n' "${photos[@]}"; done > "$work/ours.txt"
sed "s/'/'\\\\''/g; s/.*/file '&'/" "$work/ours.txt" > "$work/ffmpeg.txt"
frames=$(wc -l < "$work/ours.txt")
cat "${photos[@]}" > /dev/null  # both sides read from the page cache

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# command...: appends "wall cpu peak_kib" to $work/$side.t
timed() {
  local side=$1; shift
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >/dev/null 2>"$work/err" ||
    { cat "$work/err" >&2; echo "make-avi-photos.sh: $side failed" >&2; exit 1; }
  awk '{ print $1, $2 + $3, $4 }' "$work/time" >> "$work/$side.t"
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
  local w c p fw fc fp
  w=$(cut -d' ' -f1 "$work/ours.t" | median); c=$(cut -d' ' -f2 "$work/ours.t" | median)
  p=$(cut -d' ' -f3 "$work/ours.t" | median)
  fw=$(cut -d' ' -f1 "$work/ffmpeg.t" | median); fc=$(cut -d' ' -f2 "$work/ffmpeg.t" | median)
  fp=$(cut -d' ' -f3 "$work/ffmpeg.t" | median)
  awk -v l="$label" -v w="$w" -v c="$c" -v p="$p" -v fw="$fw" -v fc="$fc" -v fp="$fp" 'BEGIN {
    printf "%-8s wall ours %6.2f s ffmpeg %6.2f s ratio %.2f (goal <= 0.50)   cpu ours %6.2f s ffmpeg %6.2f s ratio %.2f (goal <= 1.00)   peak ours %4.0f MiB ffmpeg %4.0f MiB (goal <= %.0f)\n",
      l, w, fw, w / fw, c, fc, c / fc, p / 1024, fp / 1024, fp / 1024 + 50
  }'
}

echo "make-avi-photos: $frames frames ($copies x ${#photos[@]} photographs of $package) -> 1280x1024 stretched; medians of $runs runs; ratios ours/ffmpeg"
compare raw "" "-c:v rawvideo -pix_fmt bgr24"
compare MJPEG "--codec MJPG" "-c:v mjpeg -q:v 3"
