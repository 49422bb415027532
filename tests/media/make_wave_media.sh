#!/usr/bin/env bash
# Makes the WAVE files kelo-play's tests play through Wine's own File Source
# (Async) and WAVE parser:
#   NAME.wav   a sine tone in the given sample format, rate and channel count
# Usage: make_wave_media.sh OUTDIR. Re-running rebuilds only when this
# script is newer than OUTDIR/.complete.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 OUTDIR" >&2
  exit 2
fi
out=$1
if [ -f "$out/.complete" ] && [ "$out/.complete" -nt "${BASH_SOURCE[0]}" ]; then
  exit 0
fi
mkdir -p "$out"
rm -f "$out/.complete"

ff=(ffmpeg -nostdin -hide_banner -loglevel error -y)

# make NAME SECONDS RATE CHANNELS CODEC
make() {
  local name=$1 seconds=$2 rate=$3 channels=$4 codec=$5
  "${ff[@]}" -f lavfi -i "sine=frequency=440:sample_rate=$rate:duration=$seconds" \
    -ac "$channels" -c:a "$codec" -fflags +bitexact -flags:a +bitexact -f wav "$out/.tmp.$name.wav"
  mv -f "$out/.tmp.$name.wav" "$out/$name.wav"
}

make s16_stereo_44100 2 44100 2 pcm_s16le  # the common case
make u8_mono_22050 1 22050 1 pcm_u8        # 8-bit samples are unsigned, one byte a frame
make s24_stereo_48000 1 48000 2 pcm_s24le  # WAVE_FORMAT_EXTENSIBLE, 6-byte frames
make s16_mono_8000 0.01 8000 1 pcm_s16le   # 80 frames: fewer than one buffer's worth

touch "$out/.complete"
