#!/usr/bin/env bash
# Takes the picture of the filter's property page for the README:
#   scripts/screenshot-page.sh [--build DIR] [--page N [--play MS]] [FILE] [OUT.png]
# Builds the module and the frame program
# (tools/page-frame/show_property_frame.cpp) in DIR (default build/windows), registers the
# module in that build's Wine prefix, and under a virtual X display (Xvfb)
# shows the page in the system's property frame (OleCreatePropertyFrame) for
# a filter that has loaded FILE (default: the corpus' twos16.mov, the file
# scripts/play-sample.sh plays). ffmpeg grabs the frame's rectangle from the
# display (x11grab) into OUT.png (default docs/property-page.png). --page 1
# opens the frame on the Streams page instead of the Parameters page; --play
# MS plays the filter into Null Renderers for MS milliseconds first, paused
# while the frame shows.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

build=$root/build/windows
if [ "${1:-}" = "--build" ]; then
  build=$(cd "$2" && pwd)
  shift 2
fi
page=0
play=0
if [ "${1:-}" = "--page" ]; then
  page=$2
  shift 2
fi
if [ "${1:-}" = "--play" ]; then
  play=$2
  shift 2
fi
file=${1:-$build/corpus/twos16.mov}
out=${2:-$root/docs/property-page.png}

"$root/scripts/setup.sh" >&2
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" -j"$(nproc)" --target kelo_filter show_property_frame >&2
if [ ! -f "$file" ] && [ "$file" = "$build/corpus/twos16.mov" ]; then
  bash "$root/tests/media/make_corpus.sh" "$build/corpus" >&2
fi
[ -f "$file" ] || { echo "screenshot-page.sh: no file $file" >&2; exit 1; }

wine_run=$build/wine/wine-run.sh
module=$build/filter/KeloMervane.ax
# The frame makes the page through COM, so the module is registered.
"$wine_run" regsvr32 /s "$module"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$(dirname "$out")"
file=$(realpath "$file")
out=$(realpath -m "$out")

# Inside the virtual display: Wine's own desktop window (explorer /desktop)
# draws the frame's title bar and border, as a Windows desktop would; the
# program writes the frame's rectangle once it is shown and closes it when told.
cat >"$work/shoot.sh" <<SHOOT
set -euo pipefail
"$wine_run" explorer /desktop=kelo,640x400 "$build/tools/page-frame/show_property_frame.exe" \
  "$module" "$file" "$work/ready" "$work/close" "$page" "$play" &
program=\$!
for _ in \$(seq 1 300); do
  [ -s "$work/ready" ] && break
  kill -0 \$program 2>/dev/null || { echo "screenshot-page.sh: the frame program ended early" >&2; exit 1; }
  sleep 0.2
done
[ -s "$work/ready" ] || { echo "screenshot-page.sh: the frame did not appear" >&2; exit 1; }
sleep 1  # let the page paint
# The program writes a Windows text file: drop the CR.
read -r left top width height < <(tr -d "\\r" <"$work/ready")
ffmpeg -nostdin -v error -y -f x11grab -draw_mouse 0 -video_size "\${width}x\${height}" -i "\$DISPLAY+\$left,\$top" \
  -frames:v 1 "$out"
touch "$work/close"
wait \$program
SHOOT
xvfb-run -a -s "-screen 0 640x400x24" bash "$work/shoot.sh"
echo "$out"
