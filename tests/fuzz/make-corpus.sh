#!/usr/bin/env bash
# Writes the seed corpus of the fuzz targets into tests/fuzz/corpus/ (committed;
# run again only to change it). Needs cjpeg and jpegtran (libjpeg-turbo-progs).
#   corpus/sample/  JPEG, YUY2, RGB24 and 4:2:0 samples of the 64 x 48 picture the
#                   conversion target records, and a few of other sizes
#   corpus/config/  virtual-camera lists
#   corpus/chat/    chat records and histories
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$here/corpus
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
rm -rf "$out"
mkdir -p "$out/sample" "$out/config" "$out/chat"

# A w x h colour picture as binary PPM: gradients with a diagonal edge.
ppm() {
    local w=$1 h=$2
    printf 'P6\n%d %d\n255\n' "$w" "$h"
    local y x
    for ((y = 0; y < h; y++)); do
        for ((x = 0; x < w; x++)); do
            printf "\\x$(printf %02x $((x * 255 / w)))\\x$(printf %02x $((y * 255 / h)))\\x$(printf %02x $(((x + y) % 2 * 200)))"
        done
    done
}

ppm 64 48 >"$tmp/p64.ppm"
ppm 48 64 >"$tmp/p48.ppm"
ppm 2 2 >"$tmp/p2.ppm"
s=$out/sample
cjpeg -quality 75 -sample 2x2 "$tmp/p64.ppm" >"$s/420.jpg"
cjpeg -quality 75 -sample 2x1 "$tmp/p64.ppm" >"$s/422.jpg"
cjpeg -quality 75 -sample 1x1 "$tmp/p64.ppm" >"$s/444.jpg"
cjpeg -quality 75 -grayscale "$tmp/p64.ppm" >"$s/grey.jpg"
cjpeg -quality 75 -progressive "$tmp/p64.ppm" >"$s/progressive.jpg"
cjpeg -quality 75 -arithmetic "$tmp/p64.ppm" >"$s/arithmetic.jpg"
cjpeg -quality 75 -restart 1B "$tmp/p64.ppm" >"$s/restart.jpg"
cjpeg -quality 75 -sample 2x1 "$tmp/p48.ppm" >"$s/wrong-size-48x64.jpg"
cjpeg -quality 75 "$tmp/p2.ppm" >"$s/size-2x2.jpg"
head -c 300 "$s/422.jpg" >"$s/truncated.jpg"
{ head -c 300 "$s/422.jpg"; printf '\xff\xd9'; } >"$s/truncated-with-eoi.jpg"

# As UVC cameras send MJPG: no Huffman tables (DHT), the decoder supplies the standard ones.
python3 - "$s/422.jpg" "$s/no-huffman-tables.jpg" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
out, i = bytearray(data[:2]), 2
while i < len(data):
    marker, length = data[i + 1], int.from_bytes(data[i + 2:i + 4], 'big')
    if marker == 0xDA:  # start of scan: the rest is entropy-coded data
        out += data[i:]
        break
    if marker != 0xC4:
        out += data[i:i + 2 + length]
    i += 2 + length
open(sys.argv[2], 'wb').write(out)
PY

# Packed samples of the recorded 64 x 48 size, and one short of a row.
tail -c $((64 * 48 * 2)) "$tmp/p64.ppm" >"$s/yuy2-64x48.raw"
tail -c $((64 * 48 * 2 - 64)) "$tmp/p64.ppm" >"$s/yuy2-short.raw"
tail -c $((64 * 48 * 3)) "$tmp/p64.ppm" >"$s/rgb24-64x48.raw"
# 4:2:0 planes (NV12 and I420 alike), tight and with rows padded to 80 bytes.
tail -c $((64 * 48 * 3 / 2)) "$tmp/p64.ppm" >"$s/yuv420-64x48.raw"
tail -c $((80 * 72)) "$tmp/p64.ppm" >"$s/yuv420-64x48-stride80.raw"

c=$out/config
echo '[{"name": "Cam", "path": "virtual:0", "formats": [{"fourcc": "MJPG", "width": 64, "height": 48, "fps": 30}]}]' >"$c/one.json"
echo '[{"name": "A", "path": "a", "formats": [{"fourcc": "YUY2", "width": 2, "height": 2, "fps": 0.01}, {"fourcc": "RGB24", "width": 8192, "height": 8192, "fps": 1000, "topDown": false}], "pattern": "solid:#102030", "procamp": {"brightness": [-10, 10, 1, 0], "contrast": [0, 100, 1, 50], "saturation": [0, 0, 0, 0]}}, {"name": "B", "formats": []}, {"name": "C", "path": "", "formats": []}]' >"$c/many.json"
echo '[{"name": "x", "formats": [{"fourcc": "YUY2", "width": 64, "height": 48, "fps": 1e-13}]}]' >"$c/tiny-fps.json"
echo '[{"name": "x", "formats": [{"fourcc": "MJPG", "width": 64, "height": 48, "fps": 30, "topDown": true}], "pattern": "bars"}]' >"$c/top-down.json"

h=$out/chat
echo '{"userId": "u1", "userName": "Ann", "data": "hello", "dateTime": "2024-01-02 03:04:05"}' >"$h/record.json"
echo '[{"userId": "u1", "userName": "Ann", "data": "a", "dateTime": "2024-01-02 03:04:05"}, {"userId": 7, "userName": null, "data": 3.5, "dateTime": 1700000000}, {"data": "<b>no sender</b>"}]' >"$h/history.json"
echo '{"userId": true, "userName": ["x"], "data": {"a": 1}, "dateTime": false}' >"$h/odd-types.json"
printf 'plain text that is not JSON\n' >"$h/not-json.txt"
