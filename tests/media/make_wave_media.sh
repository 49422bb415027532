#!/usr/bin/env bash
# Makes the WAVE files kelo-play's tests play through Wine's own File Source
# (Async) and WAVE parser, with ffmpeg's view of each beside it:
#   NAME.wav   a sine tone in the given sample format, rate and channel count
#   NAME.pcm   the bytes of its data chunk, as ffmpeg's demuxer reads them
#   NAME.txt   ffprobe's sample_rate, channels, bits_per_sample, duration_ts
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
  "${ff[@]}" -i "$out/.tmp.$name.wav" -map 0:a -c copy -f data "$out/.tmp.$name.pcm"
  ffprobe -v error -select_streams a:0 \
    -show_entries stream=sample_rate,channels,bits_per_sample,duration_ts \
    -of default=noprint_wrappers=1 "$out/.tmp.$name.wav" >"$out/.tmp.$name.txt"
  for ext in wav pcm txt; do mv -f "$out/.tmp.$name.$ext" "$out/$name.$ext"; done
}

make s16_stereo_44100 2 44100 2 pcm_s16le  # the common case; long enough to seek in
make u8_mono_22050 1 22050 1 pcm_u8        # 8-bit samples are unsigned, one byte a frame
make s24_stereo_48000 1 48000 2 pcm_s24le  # WAVE_FORMAT_EXTENSIBLE, 6-byte frames
make s16_6ch_48000 0.5 48000 6 pcm_s16le   # more than two channels: extensible too
make s16_mono_8000 0.01 8000 1 pcm_s16le   # 80 frames: fewer than one buffer's worth

touch "$out/.complete"
