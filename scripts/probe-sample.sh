#!/usr/bin/env bash
# The main job on a sample: makes the test media with ffmpeg and prints what
# bxfprobe finds in an H.264 + AAC movie (or in FILE, when given).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh native >/dev/null
bash tests/media/make_corpus.sh build/corpus
build/native/tools/bxfprobe "${1:-build/corpus/h264_aac.mp4}"
