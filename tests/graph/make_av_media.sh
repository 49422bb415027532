#!/usr/bin/env bash
# Longer H.264 + AAC files for the graph tests that need time to act while the
# graph runs (seeks under way, the interleave gate holding a pin).
#
# Usage: make_av_media.sh OUTDIR
#   av_12s.mp4   12 s of 160x120 H.264 at 25 fps (a key frame every 25 frames,
#                B-frames) with 48 kHz stereo AAC, interleaved as ffmpeg writes it
# Re-running is cheap: OUTDIR/.complete newer than this script leaves it alone.
set -euo pipefail
OUT=$1
if [ -f "$OUT/.complete" ] && [ "$OUT/.complete" -nt "${BASH_SOURCE[0]}" ]; then exit 0; fi
mkdir -p "$OUT"
rm -f "$OUT/.complete"
ffmpeg -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i testsrc=size=160x120:rate=25:duration=12 -f lavfi -i sine=frequency=440:sample_rate=48000:duration=12 \
    -c:v libx264 -preset fast -bf 2 -g 25 -keyint_min 25 -sc_threshold 0 -pix_fmt yuv420p \
    -c:a aac -b:a 64k -ac 2 -threads 1 -fflags +bitexact "$OUT/.tmp.av_12s.mp4"
mv -f "$OUT/.tmp.av_12s.mp4" "$OUT/av_12s.mp4"
touch "$OUT/.complete"
