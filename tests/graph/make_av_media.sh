#!/usr/bin/env bash
# Longer H.264 + AAC files for the graph tests that need time to act while the
# graph runs (seeks under way, the interleave gate holding a pin).
#
# Usage: make_av_media.sh OUTDIR
#   av_12s.mp4   12 s of 160x120 H.264 at 25 fps (a key frame every 25 frames,
#                B-frames) with 48 kHz stereo AAC, interleaved as ffmpeg writes it
#   decode_sar43_gop5_mono22k.mp4    3 s, H.264 with a 4:3 sample aspect ratio,
#                a key frame every 5 frames and 3 B-frames, mono AAC at 22.05 kHz
#   decode_gop50_surround48k.mp4     3 s, H.264 with one key frame in 50 and no
#                B-frames, 5.1 AAC at 48 kHz
#   pictures_m4v_aac.3gp     3 s, 176x144 MPEG-4 Visual (a key frame every 12
#                frames) with 8 kHz mono AAC, in a 3GP
#   hevc_hvc1_sar1011_gop10.mp4      3 s, 170x126 HEVC (libx265: 8-bit, 176x128 coded
#                with a conformance window, a 10:11 sample aspect ratio, a key
#                frame every 10 frames, 3 B-frames) as 'hvc1', with stereo AAC
#   hevc_hev1_main10_gop20.mov       3 s, 160x120 10-bit HEVC as 'hev1' (a key
#                frame every 20 frames, 4 B-frames) in a MOV, with mono AAC at 44.1 kHz
# The decode_*, hevc_* and pictures_* files are played by tests/graph/check_decoded.py as well.
# Re-running is cheap: OUTDIR/.complete newer than this script leaves it alone.
set -euo pipefail
OUT=$1
if [ -f "$OUT/.complete" ] && [ "$OUT/.complete" -nt "${BASH_SOURCE[0]}" ]; then exit 0; fi
mkdir -p "$OUT"
rm -f "$OUT/.complete"
# build NAME FFMPEG_ARGUMENTS...: one file, written aside and renamed so a reader never sees half of it.
build() {
    local name=$1
    shift
    ffmpeg -nostdin -hide_banner -loglevel error -y "$@" -threads 1 -fflags +bitexact "$OUT/.tmp.$name"
    mv -f "$OUT/.tmp.$name" "$OUT/$name"
}
build av_12s.mp4 \
    -f lavfi -i testsrc=size=160x120:rate=25:duration=12 -f lavfi -i sine=frequency=440:sample_rate=48000:duration=12 \
    -c:v libx264 -preset fast -bf 2 -g 25 -keyint_min 25 -sc_threshold 0 -pix_fmt yuv420p -c:a aac -b:a 64k -ac 2

# make NAME VIDEO_FILTER OPTIONS...: H.264 and AAC; the x264 options before the AAC ones.
make() {
    local name=$1 filter=$2
    shift 2
    build "$name" -f lavfi -i "testsrc=size=160x120:rate=25:duration=3,$filter" \
        -f lavfi -i sine=frequency=440:sample_rate=48000:duration=3 \
        -c:v libx264 -preset fast -sc_threshold 0 -pix_fmt yuv420p -c:a aac -b:a 96k "$@"
}
make decode_sar43_gop5_mono22k.mp4 setsar=4/3 -g 5 -keyint_min 5 -bf 3 -ac 1 -ar 22050
make decode_gop50_surround48k.mp4 null -g 50 -keyint_min 50 -bf 0 -ac 6 -ar 48000
build pictures_m4v_aac.3gp \
    -f lavfi -i testsrc=size=176x144:rate=25:duration=3 -f lavfi -i sine=frequency=440:sample_rate=8000:duration=3 \
    -c:v mpeg4 -g 12 -c:a aac -b:a 24k -ac 1 -f 3gp
# hevc NAME SIZE FILTER X265_PARAMS FFMPEG_OPTIONS...: closed GOPs, so a run from
# any key frame decodes to the source's own pictures.
hevc() {
    local name=$1 size=$2 filter=$3 params=$4
    shift 4
    build "$name" -f lavfi -i "testsrc=size=$size:rate=25:duration=3,$filter" \
        -f lavfi -i sine=frequency=440:sample_rate=48000:duration=3 \
        -c:v libx265 -preset ultrafast -x265-params "log-level=error:scenecut=0:open-gop=0:$params" \
        -c:a aac -b:a 96k "$@"
}
rm -f "$OUT"/hevc_*  # no file of an earlier list stays to be played
hevc hevc_hvc1_sar1011_gop10.mp4 170x126 setsar=10/11 keyint=10:min-keyint=10:bframes=3 \
    -pix_fmt yuv420p -tag:v hvc1 -ac 2
hevc hevc_hev1_main10_gop20.mov 160x120 null keyint=20:min-keyint=20:bframes=4 \
    -pix_fmt yuv420p10le -tag:v hev1 -ac 1 -ar 44100
touch "$OUT/.complete"
