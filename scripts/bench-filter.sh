#!/usr/bin/env bash
# Throughput of the registered filter beside Wine's own MP4 path, on the
# library benchmark's one-minute and one-hour H.264 + AAC files (made by
# scripts/bench.sh --media), each into null sinks with no clock, in the same
# Wine: kelo-throughput reports wall time, file and media samples per second,
# Load to the first delivered sample and the process's peak memory. Each pair
# runs into two kinds of sink: the test support's null sink, which counts and
# offers its own allocator (the sources' own cost), and Wine's stock Sample
# Grabber + Null Renderer in Wine's memory allocator (whose every buffer costs
# waits served by Wine's server process).
# Wine's path is File Source (Async) + its GStreamer parser, which decodes
# (gstreamer1.0-libav, installed here when missing, gives it the decoders).
# Not a test. usage: scripts/bench-filter.sh [--wine-timeout SECONDS]
#   KELO_BENCH_BUILD=build/<name>-windows uses another Windows build tree.
set -euo pipefail
cd "$(dirname "$0")/.."
wine_timeout=600
if [ "${1:-}" = "--wine-timeout" ]; then wine_timeout=$2; shift 2; fi
build=${KELO_BENCH_BUILD:-build/windows}

# gstreamer1.0-libav: the H.264 and AAC decoders of Wine's path.
scripts/setup.sh gstreamer1.0-libav
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target kelo_filter kelo-throughput >/dev/null
scripts/bench.sh --media

wine_run=$build/wine/wine-run.sh
"$wine_run" regsvr32 /s "$build/filter/KeloMervane.ax"
throughput=$build/tools/kelo-stress/kelo-throughput.exe

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2)
echo "machine: $(nproc) cores,$cpu, $(free -g | awk '/^Mem:/ {print $2}') GiB; load average $(cut -d' ' -f1-3 /proc/loadavg)"
for name in one-minute one-hour; do
  file=build/bench-media/$name.mp4
  samples=$(ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$file" |
            awk '{ n += $1 } END { print n }')
  echo "$name.mp4: $samples samples in the file"
  for sinks in null stock; do
    "$wine_run" "$throughput" --source kelo --sinks $sinks --file-samples "$samples" --timeout 3600 "$file" || true
    timeout $((wine_timeout + 120)) "$wine_run" "$throughput" --source wine --sinks $sinks --file-samples "$samples" \
      --timeout "$wine_timeout" "$file" 2>/dev/null || echo "source wine, $sinks sinks: exit $? (timed out or failed)"
  done
done
