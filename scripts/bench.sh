#!/usr/bin/env bash
# The sample-access benchmark: the library beside libavformat on one hour of
# H.264 (B-frames) + AAC, and on one minute of the same content, in one run.
# Installs what is missing, builds bxfbench in a Release tree without
# sanitizers (build/bench), makes the media once (build/bench-media, reused
# when present) and prints the tables shown in README.md.
# usage: scripts/bench.sh [--runs N]
#        scripts/bench.sh --media   (only make the media; scripts/bench-filter.sh plays them)
set -euo pipefail
cd "$(dirname "$0")/.."
media_only=false
if [ "${1:-}" = "--media" ]; then media_only=true; shift; fi

if ! $media_only; then
# libavformat-dev is the contender, found through pkg-config.
scripts/setup.sh libavformat-dev pkg-config

cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DBXF_SANITIZE=OFF -DBXF_BUILD_TESTS=OFF \
  -DBXF_BUILD_BENCH=ON >/dev/null
cmake --build build/bench -j"$(nproc)" --target bxfbench >/dev/null
fi

# Ten seconds encoded once, then copied end to end: the long file costs a
# stream copy, not an hour of encoding. Each file is written under a
# temporary name first, so an interrupted run never leaves a short file to reuse.
media=build/bench-media
mkdir -p "$media"
loop() { # loop EXTRA_COPIES NAME
  [ -s "$media/$2.mp4" ] && return
  ffmpeg -v error -y -stream_loop "$1" -i "$media/ten-seconds.mp4" -c copy -map 0 "$media/$2.part.mp4"
  mv "$media/$2.part.mp4" "$media/$2.mp4"
}
if [ ! -s "$media/ten-seconds.mp4" ]; then
  ffmpeg -v error -y -f lavfi -i testsrc2=size=320x240:rate=60 -f lavfi -i sine=frequency=440:sample_rate=48000 \
    -t 10 -c:v libx264 -preset medium -bf 3 -g 120 -b:v 1000k -pix_fmt yuv420p -c:a aac -b:a 128k -ac 2 \
    "$media/ten-seconds.part.mp4"
  mv "$media/ten-seconds.part.mp4" "$media/ten-seconds.mp4"
fi
loop 5 one-minute
loop 359 one-hour
if $media_only; then exit 0; fi

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2)
echo "machine: $(nproc) cores,$cpu, $(free -g | awk '/^Mem:/ {print $2}') GiB, kernel $(uname -r)"
build/bench/bench/bxfbench "$@" "$media/one-minute.mp4" "$media/one-hour.mp4"
