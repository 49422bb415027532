#!/usr/bin/env bash
# Seeds of the bitstream fuzz targets from ffmpeg's files
# (tests/bitstream/make_reference.py): every H.264 SPS into OUTDIR/sps, every
# HEVC parameter set into OUTDIR/hevc_sps, every ES
# descriptor into OUTDIR/es_descriptor, its AudioSpecificConfig into
# OUTDIR/audio_specific_config and an MPEG-4 Visual one's configuration into
# OUTDIR/video_object_layer. Inputs already there are kept.
# usage: fuzz/make_bitstream_seeds.sh OUTDIR
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: $0 OUTDIR" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
out=$1
python3 "$here/../tests/bitstream/make_reference.py" "$out/bitstream_media"
python3 - "$out" <<'PY'
import os, sys
out = sys.argv[1]
for d in ("sps", "hevc_sps", "es_descriptor", "audio_specific_config", "video_object_layer"):
    os.makedirs(os.path.join(out, d), exist_ok=True)

def size_field(b, pos):
    value = 0
    while True:
        byte = b[pos]
        pos += 1
        value = value << 7 | (byte & 0x7F)
        if not byte & 0x80:
            return value, pos

for line in open(os.path.join(out, "bitstream_media", "reference.tsv")):
    kind, name, hexbytes = line.split()[:3]
    b = bytes.fromhex(hexbytes)
    stem = name.rsplit(".", 1)[0]
    if kind == "avc":
        n, pos = b[5] & 0x1F, 6
        for i in range(n):
            length = b[pos] << 8 | b[pos + 1]
            open(os.path.join(out, "sps", f"{stem}_{i}"), "wb").write(b[pos + 2:pos + 2 + length])
            pos += 2 + length
    elif kind == "hevc":
        # 22 bytes of fields, the array count, then each array's units.
        pos = 23
        for array in range(b[22]):
            count, pos = b[pos + 1] << 8 | b[pos + 2], pos + 3
            for i in range(count):
                length = b[pos] << 8 | b[pos + 1]
                open(os.path.join(out, "hevc_sps", f"{stem}_{array}_{i}"), "wb").write(b[pos + 2:pos + 2 + length])
                pos += 2 + length
    else:
        open(os.path.join(out, "es_descriptor", stem), "wb").write(b)
        # The DecSpecificInfo is the first tag 5 behind the 13 fixed bytes.
        _, pos = size_field(b, 1)
        pos += 3  # ES_ID and flags (ffmpeg sets none)
        _, pos = size_field(b, pos + 1)
        pos += 13
        length, pos = size_field(b, pos + 1)
        folder = "video_object_layer" if kind == "m4v" else "audio_specific_config"
        open(os.path.join(out, folder, stem), "wb").write(b[pos:pos + length])
PY
for target in sps hevc_sps es_descriptor audio_specific_config video_object_layer; do
  echo "seeds: $target $(ls "$out/$target" | wc -l) inputs"
done
