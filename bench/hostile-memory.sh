#!/usr/bin/env bash
# Peak memory on small files whose headers claim huge pictures, made here by
# the formats' rules:
#   screen.gif      35 bytes, a 32768x32768 screen holding one 1x1 frame
#   grey16.tif      186 bytes, 23000x23000 16-bit grey, one strip, no data
#   noscan.jpg      a 18000x18000 colour JPEG whose scan ends at once
#   progressive.jpg a 14000x14000 progressive JPEG whose first scan ends at once
#   idat.png        a 16384x16384 RGBA PNG with a few bytes of its data
#   rle.bmp         a 30000x30000 RLE8 BMP that ends its bitmap at once
#   bomb.png        420 KB of whole, valid data: 12000x12000 black RGB
#   white.png       whole, valid data: 10000x10000 white RGB, as flat scans are
#   padded.jpg      a 22000x22000 grey JPEG behind 4100 fill bytes, past
#                   where the header probe gives up; its scan ends at once
#   padded.gif      a 22000x22000 frame behind 4100 comment blocks, past
#                   where the header probe gives up; its data ends early
#   frames.avi      16 KB, a raw AVI claiming 18000x18000 frames
#   repeat.avi      1.2 MB: a 16000x16000 grey PNG frame (250 KB of whole,
#                   valid data) that its idx1 names 60,000 times
# `stillweaver-cli make` (1280x1024, stretched) runs on each picture and on
# the list of the first six; the AVIs go through `stillweaver-cli framemd5`.
# FFmpeg's peak on the same file is printed beside ours where it reads it,
# with the seconds each took for repeat.avi.
#   bench/hostile-memory.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
cli="$build/cli/stillweaver-cli"
[ -x "$cli" ] || { echo "hostile-memory.sh: build $cli first" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "hostile-memory.sh: GNU time (package time) is needed" >&2; exit 1; }
command -v python3 >/dev/null || { echo "hostile-memory.sh: python3 is needed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'EOF'
import struct, sys, zlib
out = sys.argv[1] + "/"

def save(name, data):
    with open(out + name, "wb") as f:
        f.write(data)

# GIF: logical screen 32768 x 32768, no global table; one 1x1 frame with a
# two-colour local table; LZW (minimum code size 2): clear, 0, end.
save("screen.gif", b"GIF89a" + struct.pack("<HHBBB", 32768, 32768, 0, 0, 0)
     + b"\x2c" + struct.pack("<HHHHB", 0, 0, 1, 1, 0x80) + b"\x00\x00\x00\xff\xff\xff"
     + b"\x02\x02\x44\x01\x00" + b"\x3b")

# TIFF: 16-bit grey 23000 x 23000 in one uncompressed strip that the file
# does not hold.
w = h = 23000
tags = [(256, 4, 1, w), (257, 4, 1, h), (258, 3, 1, 16), (259, 3, 1, 1), (262, 3, 1, 1),
        (273, 4, 1, 8 + 2 + 12 * 9 + 4), (277, 3, 1, 1), (278, 4, 1, h), (279, 4, 1, w * h * 2)]
ifd = struct.pack("<H", len(tags))
for tag, kind, count, value in tags:
    ifd += struct.pack("<HHI", tag, kind, count) + (struct.pack("<HH", value, 0) if kind == 3 else struct.pack("<I", value))
tiff = b"II*\x00" + struct.pack("<I", 8) + ifd + struct.pack("<I", 0)
save("grey16.tif", tiff + bytes(186 - len(tiff)))

# JPEG: quantisation and one-symbol Huffman tables, a frame header, a scan
# header, then the end of the picture at once.
def segment(marker, body):
    return struct.pack(">BBH", 0xFF, marker, len(body) + 2) + body
def jpeg(sof, size, sampling, scan):
    dqt = segment(0xDB, b"\x00" + bytes([1] * 64))
    frame = segment(sof, struct.pack(">BHHB", 8, size, size, 3)
                    + b"".join(bytes([c + 1, s, 0]) for c, s in enumerate(sampling)))
    dht = segment(0xC4, b"\x00" + bytes([1] + [0] * 15) + b"\x00") + segment(0xC4, b"\x10" + bytes([1] + [0] * 15) + b"\x00")
    sos = segment(0xDA, b"\x03\x01\x00\x02\x00\x03\x00" + bytes(scan))
    return b"\xff\xd8" + dqt + frame + dht + sos + b"\xff\xd9"
save("noscan.jpg", jpeg(0xC0, 18000, [0x11, 0x11, 0x11], [0, 63, 0]))
save("progressive.jpg", jpeg(0xC2, 14000, [0x22, 0x11, 0x11], [0, 0, 0]))

# PNG: 16384 x 16384 RGBA (the 1 GiB limit), with the first rows only.
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
side = 16384
rows = zlib.compress(bytes((side * 4 + 1) * 16))
save("idat.png", b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 6, 0, 0, 0))
     + chunk(b"IDAT", rows) + chunk(b"IEND", b""))

# PNG: 12000 x 12000 RGB, all black, compressed as far as deflate goes.
side = 12000
packer = zlib.compressobj(9)
row = bytes(1 + 3 * side)
data = b"".join(packer.compress(row) for _ in range(side)) + packer.flush()
save("bomb.png", b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0))
     + chunk(b"IDAT", data) + chunk(b"IEND", b""))

# PNG: 10000 x 10000 RGB, all white.
side = 10000
packer = zlib.compressobj(9)
row = b"\x00" + b"\xff" * (3 * side)
data = b"".join(packer.compress(row) for _ in range(side)) + packer.flush()
save("white.png", b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0))
     + chunk(b"IDAT", data) + chunk(b"IEND", b""))

# JPEG: a grey 22000 x 22000 picture behind fill bytes; 2 KB of scan data.
dqt = segment(0xDB, b"\x00" + bytes([1] * 64))
dht = segment(0xC4, b"\x00" + bytes([1] + [0] * 15) + b"\x00") + segment(0xC4, b"\x10" + bytes([1] + [0] * 15) + b"\x00")
save("padded.jpg", b"\xff\xd8" + b"\xff" * 4100 + dqt
     + segment(0xC0, struct.pack(">BHHB", 8, 22000, 22000, 1) + bytes([1, 0x11, 0])) + dht
     + segment(0xDA, b"\x01\x01\x00" + bytes([0, 63, 0])) + bytes(2048) + b"\xff\xd9")

# GIF: a 0 x 0 screen (the frame's size counts) and 4100 comment blocks,
# then a 22000 x 22000 frame whose LZW data ends after a few thousand bytes.
comments = b"".join(b"\x21\xfe" + b"\x63" + bytes(99) + b"\x00" for _ in range(4100))
lzw = b"".join(b"\xff" + bytes([0x55] * 255) for _ in range(16))
save("padded.gif", b"GIF89a" + struct.pack("<HHBBB", 0, 0, 0x80, 0, 0) + bytes(6) + comments
     + b"\x2c" + struct.pack("<HHHHB", 0, 0, 22000, 22000, 0) + b"\x08" + lzw + b"\x00\x3b")

# BMP: 30000 x 30000 RLE8 whose bitmap ends with its first code.
side = 30000
bits = b"\x00\x01"
palette = bytes(4 * 256)
offset = 14 + 40 + len(palette)
save("rle.bmp", b"BM" + struct.pack("<IHHI", offset + len(bits), 0, 0, offset)
     + struct.pack("<IiiHHIIiiII", 40, side, side, 1, 8, 1, len(bits), 0, 0, 256, 0) + palette + bits)

# AVI: one uncompressed 18000 x 18000 stream with one 16 KB frame.
side = 18000
frame = bytes(16384)
def riff_chunk(kind, body):
    return kind + struct.pack("<I", len(body)) + body + (b"\x00" if len(body) % 2 else b"")
def riff_list(kind, body):
    return b"LIST" + struct.pack("<I", len(body) + 4) + kind + body
stride = (side * 3 + 3) // 4 * 4
avih = struct.pack("<IIIIIIIIII4I", 100000, 0, 0, 0x10, 1, 0, 1, stride * side, side, side, 0, 0, 0, 0)
strh = b"vids" + b"DIB " + struct.pack("<IHHIIIIIIIIhhhh", 0, 0, 0, 0, 1, 10, 0, 1, stride * side, 0xFFFFFFFF, 0,
                                        0, 0, side, side)
strf = struct.pack("<IiiHHIIiiII", 40, side, side, 1, 24, 0, stride * side, 0, 0, 0, 0)
hdrl = riff_list(b"hdrl", riff_chunk(b"avih", avih) + riff_list(b"strl", riff_chunk(b"strh", strh) + riff_chunk(b"strf", strf)))
movi = riff_list(b"movi", riff_chunk(b"00db", frame))
idx1 = riff_chunk(b"idx1", b"00db" + struct.pack("<III", 0x10, 4, len(frame)))
body = b"AVI " + hdrl + movi + idx1
save("frames.avi", b"RIFF" + struct.pack("<I", len(body)) + body)

# AVI: PNG frames ('MPNG') of 16000 x 16000 grey, one sample that the
# index names 60,000 times.
side, count = 16000, 60000
packer = zlib.compressobj(9)
row = bytes(1 + side)
data = b"".join(packer.compress(row) for _ in range(side)) + packer.flush()
frame = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 0, 0, 0, 0))
         + chunk(b"IDAT", data) + chunk(b"IEND", b""))
avih = struct.pack("<IIIIIIIIII4I", 100000, 0, 0, 0x10, count, 0, 1, len(frame), side, side, 0, 0, 0, 0)
strh = b"vids" + b"MPNG" + struct.pack("<IHHIIIIIIIIhhhh", 0, 0, 0, 0, 1, 10, 0, count, len(frame), 0xFFFFFFFF, 0,
                                        0, 0, side, side)
strf = struct.pack("<IiiHHIIiiII", 40, side, side, 1, 24, struct.unpack("<I", b"MPNG")[0], side * side * 3, 0, 0, 0, 0)
hdrl = riff_list(b"hdrl", riff_chunk(b"avih", avih) + riff_list(b"strl", riff_chunk(b"strh", strh) + riff_chunk(b"strf", strf)))
movi = riff_list(b"movi", riff_chunk(b"00dc", frame))
idx1 = riff_chunk(b"idx1", (b"00dc" + struct.pack("<III", 0x10, 4, len(frame))) * count)
body = b"AVI " + hdrl + movi + idx1
save("repeat.avi", b"RIFF" + struct.pack("<I", len(body)) + body)
EOF

peak_mb() {  # command...: peak resident memory in MiB and the exit status
  local status=0
  /usr/bin/time -f "%M %e" -o "$work/peak" timeout 300 "$@" >/dev/null 2>"$work/err" || status=$?
  tail -n 1 "$work/peak" | awk -v s="$status" -v t="${show_seconds:-}" \
    '{ printf "%5.0f MiB (exit %d)", $1 / 1024, s; if (t) printf " %6.1f s", $2 }'
}

pictures=(screen.gif grey16.tif noscan.jpg progressive.jpg idat.png rle.bmp)
echo "hostile-memory: peak resident memory; a picture it cannot hold is skipped (exit 3)"
for p in "${pictures[@]}"; do
  printf "%-16s %7d bytes   ours %s" "$p" "$(stat -c %s "$work/$p")" \
    "$(peak_mb "$cli" make -o "$work/out.avi" "$work/$p")"
  printf "   ffmpeg %s\n" "$(peak_mb ffmpeg -nostdin -v quiet -i "$work/$p" -frames:v 1 -s 1280x1024 -f null -)"
done
printf "%-16s %7s         ours %s\n" "list of six" "" \
  "$(peak_mb "$cli" make -o "$work/out.avi" "${pictures[@]/#/$work/}")"
printf "%-16s %7d bytes   ours %s" bomb.png "$(stat -c %s "$work/bomb.png")" \
  "$(peak_mb "$cli" make -o "$work/out.avi" "$work/bomb.png")"
printf "   ffmpeg %s\n" "$(peak_mb ffmpeg -nostdin -v quiet -i "$work/bomb.png" -frames:v 1 -s 1280x1024 -f null -)"
for p in white.png padded.jpg padded.gif; do
  printf "%-16s %7d bytes   ours %s" "$p" "$(stat -c %s "$work/$p")" "$(peak_mb "$cli" make -o "$work/out.avi" "$work/$p")"
  printf "   ffmpeg %s\n" "$(peak_mb ffmpeg -nostdin -v quiet -i "$work/$p" -frames:v 1 -s 1280x1024 -f null -)"
done
printf "%-16s %7d bytes   ours %s" "frames.avi" "$(stat -c %s "$work/frames.avi")" \
  "$(peak_mb "$cli" framemd5 "$work/frames.avi")"
printf "   ffmpeg %s\n" "$(peak_mb ffmpeg -nostdin -v quiet -i "$work/frames.avi" -f null -)"
show_seconds=1
printf "%-16s %7d bytes   ours %s" "repeat.avi" "$(stat -c %s "$work/repeat.avi")" \
  "$(peak_mb "$cli" framemd5 "$work/repeat.avi")"
printf "   ffmpeg %s\n" "$(peak_mb ffmpeg -nostdin -v quiet -i "$work/repeat.avi" -f null -)"
