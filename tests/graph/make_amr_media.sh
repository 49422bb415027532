#!/usr/bin/env bash
# AMR narrow-band media for the AMR pin's graph tests and decoded check.
# ffmpeg cannot encode AMR: tests/media/make_raw_amr.py writes raw AMR frames
# by hand and ffmpeg remuxes them (-c copy), one AMR frame per sample,
# 20 ms each (160 units at the time scale of 8000).
#
# Usage: make_amr_media.sh OUTDIR
#   frag_amr.3gp             5 s, empty moov, one moof per second, no mfra
#   frag_amr_mfra.3gp        the same with the mfra random-access index at the end
#   frag_amr_moov.3gp        the first second's samples in moov's tables (mdhd
#                            says 1 s), the other four in moofs, with an mfra
#   frag_amr_moov_nomfra.3gp the same without the mfra
#   decode_h263_amr.3gp      3 s of 176x144 H.263 with AMR
#   decode_mpeg4v_amr.3gp    3 s of 176x144 MPEG-4 Visual with AMR
# The fragmented files are checked to have the layout their names say (their top-level boxes), and
# gets ffprobe's packets beside it (NAME.packets.txt, stream_packets.py).
# The decode_* files are played by tests/graph/check_decoded.py as well.
# Re-running is cheap: OUTDIR/.complete newer than this script leaves it alone.
set -euo pipefail
OUT=$1
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
MEDIA=$HERE/../media
if [ -f "$OUT/.complete" ] && [ "$OUT/.complete" -nt "${BASH_SOURCE[0]}" ] &&
   [ "$OUT/.complete" -nt "$MEDIA/make_raw_amr.py" ] && [ "$OUT/.complete" -nt "$HERE/stream_packets.py" ]; then
    exit 0
fi
mkdir -p "$OUT"
rm -f "$OUT/.complete"
FF=(ffmpeg -nostdin -hide_banner -loglevel error -y)
EXACT=(-threads 1 -fflags +bitexact -flags:v +bitexact)

python3 "$MEDIA/make_raw_amr.py" "$OUT/.tmp.5s.amr" 250 4867
python3 "$MEDIA/make_raw_amr.py" "$OUT/.tmp.3s.amr" 150 11

# build NAME ARGS...: into a temporary name, then renamed, so that a killed
# run leaves no truncated file under the final name.
build() {
    local name=$1
    shift
    "${FF[@]}" "$@" "${EXACT[@]}" -f 3gp "$OUT/.tmp.$name"
    mv -f "$OUT/.tmp.$name" "$OUT/$name"
}
# Audio alone gives ffmpeg no key frame to cut at: a fragment per second.
AMR=(-f amr -i "$OUT/.tmp.5s.amr" -c copy -frag_duration 1000000)
EMPTY=frag_keyframe+empty_moov+default_base_moof
build frag_amr.3gp "${AMR[@]}" -movflags "$EMPTY+skip_trailer"
build frag_amr_mfra.3gp "${AMR[@]}" -movflags "$EMPTY"
build frag_amr_moov.3gp "${AMR[@]}" -movflags frag_keyframe
build frag_amr_moov_nomfra.3gp "${AMR[@]}" -movflags frag_keyframe+skip_trailer
# Each has the layout its name says, in its top-level boxes: an empty moov has no mdat before the first moof;
# moov samples have one.
python3 - "$OUT" <<'EOF'
import re, struct, sys
LAYOUTS = {"frag_amr.3gp": "ftyp moov (moof mdat ){5}", "frag_amr_mfra.3gp": "ftyp moov (moof mdat ){5}mfra ",
           "frag_amr_moov.3gp": "ftyp moov mdat (moof mdat ){4}mfra ",
           "frag_amr_moov_nomfra.3gp": "ftyp moov mdat (moof mdat ){4}"}
for name, layout in LAYOUTS.items():
    data, at, boxes = open(f"{sys.argv[1]}/{name}", "rb").read(), 0, ""
    while at + 8 <= len(data):
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        boxes += kind.decode("latin-1") + " "
        at += size or len(data)
    if not re.fullmatch(layout, boxes):
        sys.exit(f"{name}: top-level boxes '{boxes}' are not the layout wanted: {layout}")
EOF

VIDEO=(-f lavfi -i testsrc=size=176x144:rate=25:duration=3 -f amr -i "$OUT/.tmp.3s.amr" -map 0:v -map 1:a)
build decode_h263_amr.3gp "${VIDEO[@]}" -c:v h263 -q:v 5 -g 12 -c:a copy
build decode_mpeg4v_amr.3gp "${VIDEO[@]}" -c:v mpeg4 -q:v 5 -g 12 -bf 2 -c:a copy

rm -f "$OUT"/.tmp.*.amr
# ffprobe's packets of every file, for the graph tests.
python3 "$HERE/stream_packets.py" "$OUT" '*.3gp'
touch "$OUT/.complete"
