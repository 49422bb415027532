#!/usr/bin/env bash
# The main job on a sample: installs what is missing, builds the Windows
# build, makes the test media with ffmpeg, registers the filter in the build's
# private Wine prefix and plays a QuickTime file with big-endian PCM audio
# (H.264 video, which has no pin yet, beside it) through a real DirectShow
# graph; then shows what the pin delivered and checks the dumped .wav with
# ffprobe. Give FILE to play another file.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh windows >/dev/null
bash tests/media/make_corpus.sh build/windows/corpus
file=${1:-build/windows/corpus/twos16.mov}
dump=build/play-sample
rm -rf "$dump"
scripts/play.sh "$file" --dump "$dump" 2>/dev/null
for wav in "$dump"/*.wav; do
  [ -e "$wav" ] || continue
  echo "$wav, as ffprobe reads it:"
  ffprobe -v error -show_entries stream=codec_name,sample_rate,channels,bits_per_sample,duration_ts \
    -of default=noprint_wrappers=1 "$wav" | sed 's/^/  /'
done
