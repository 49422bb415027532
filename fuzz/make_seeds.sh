#!/usr/bin/env bash
# Makes the seed corpus of the fuzz targets from the test media: ffmpeg's files
# (tests/media/make_corpus.sh) and the filter's and the library's hostile files
# (written by tests/support/write_{filter,library}_hostile_set.cpp) cut down to
# their boxes by make_seeds.py, then
# minimized by each target (-merge=1) into OUTDIR/movie and
# OUTDIR/sample_entries. Inputs already there are kept.
# usage: fuzz/make_seeds.sh OUTDIR [FUZZER_DIR]   (default build/fuzz/fuzz)
set -euo pipefail
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 OUTDIR [FUZZER_DIR]" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
out=$1
fuzzers=${2:-$here/../build/fuzz/fuzz}

bash "$here/../tests/media/make_corpus.sh" "$out/media"
mkdir -p "$out"
rm -rf "$out/raw"
python3 "$here/make_seeds.py" "$out/media" "$out/raw"
for set in filter library; do
  ${CXX:-clang++} -std=c++17 -O1 -I"$here/../tests/support" "$here/../tests/support/write_${set}_hostile_set.cpp" \
    -o "$out/write_${set}_hostile_set"
  rm -rf "$out/${set}_hostile"
  "$out/write_${set}_hostile_set" "$out/${set}_hostile"
  python3 "$here/make_seeds.py" "$out/${set}_hostile" "$out/raw"
done
for target in movie sample_entries; do
  mkdir -p "$out/$target"
  if ! "$fuzzers/fuzz_$target" -merge=1 "$out/$target" "$out/raw/$target" >"$out/merge_$target.log" 2>&1; then
    cat "$out/merge_$target.log" >&2
    exit 1
  fi
  echo "seeds: $target $(ls "$out/$target" | wc -l) inputs"
done
