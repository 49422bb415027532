#!/usr/bin/env bash
# Builds the release zip for Windows users:
#   scripts/package.sh [--from BUILD_DIR] [--out DIR]
# It holds KeloMervane.ax, kelo-play.exe, bxfprobe.exe (all 64-bit, statically
# linked) and README-Windows.txt: how to register, unregister, play and probe,
# with the version and the SHA-256 of each file. The zip is written to DIR
# (default build/) as kelo-mervane-VERSION-win64.zip and its path printed.
#
# Without --from, the three programs are built first in build/windows (only
# they); --from packs what BUILD_DIR already holds (the tests do that).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# The release number; the commit it was built from follows it.
base_version=0.1.0

build=""
out=$root/build
while [ $# -gt 0 ]; do
  case $1 in
    --from) build=$(cd "$2" && pwd); shift 2 ;;
    --out) mkdir -p "$2"; out=$(cd "$2" && pwd); shift 2 ;;
    *) echo "usage: scripts/package.sh [--from BUILD_DIR] [--out DIR]" >&2; exit 1 ;;
  esac
done

if [ -z "$build" ]; then
  "$root/scripts/setup.sh" zip >&2
  build=$root/build/windows
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$build" -j"$(nproc)" --target kelo_filter kelo-play bxfprobe >&2
fi
command -v zip >/dev/null || { echo "package.sh: zip is missing (scripts/setup.sh zip)" >&2; exit 1; }

files=("$build/filter/KeloMervane.ax" "$build/tools/kelo-play/kelo-play.exe" "$build/tools/bxfprobe.exe")
for f in "${files[@]}"; do
  [ -f "$f" ] || { echo "package.sh: missing $f" >&2; exit 1; }
done

commit=$(git -C "$root" rev-parse --short=10 HEAD 2>/dev/null || echo unknown)
version="$base_version+g$commit"
name="kelo-mervane-$base_version-win64"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/$name"
cp "${files[@]}" "$stage/$name/"

# The text is for Notepad: CRLF line ends. The command lines are indented by
# four blanks; tests/package/check_install.py runs them as written.
{
  cat <<TEXT
Kelo Mervane $version
MP4 / 3GP / MOV source filter for DirectShow, 64-bit Windows 10 and 11.

Files
  KeloMervane.ax      the source filter (a 64-bit DirectShow filter, COM server)
  kelo-play.exe       plays a file through the filter and reports what arrived
  bxfprobe.exe        shows the tracks and samples inside a file
  README-Windows.txt  this text

Register (install)
  Unpack this folder where it will stay, for example C:\\Program Files\\Kelo Mervane.
  Open a Command Prompt as administrator in that folder and run:

    regsvr32 /s KeloMervane.ax

  DirectShow applications (GraphEdit, GraphStudioNext, players that use
  DirectShow) then open MP4, 3GP and MOV files with it: H.264, MPEG-4 Visual
  and H.263 video; AAC (LC), big-endian PCM (8, 16 and 24 bits) and AMR
  narrow-band audio. Registration records the folder: move the folder and
  register again.

Play a file
  In a Command Prompt in this folder (64-bit applications only use the filter):

    kelo-play.exe "C:\\Users\\you\\Videos\\movie.mp4"

  It prints, per output pin, the media type and what was delivered, and ends
  with "complete". kelo-play.exe without a file lists its options (seeking,
  rate, --dump, --timeline FILE.svg).

Probe a file

    bxfprobe.exe "C:\\Users\\you\\Videos\\movie.mp4"

  Add --samples for one line per sample, --json for JSON.

Unregister (uninstall)
  As administrator, in this folder:

    regsvr32 /u /s KeloMervane.ax

  Then delete the folder.

SHA-256
TEXT
  for f in "${files[@]}"; do
    echo "  $(sha256sum "$f" | cut -d' ' -f1)  $(basename "$f")"
  done
} | sed 's/$/\r/' >"$stage/$name/README-Windows.txt"

zip_path=$out/$name.zip
rm -f "$zip_path"
(cd "$stage" && zip -q -X -r "$zip_path" "$name")
echo "$zip_path"
