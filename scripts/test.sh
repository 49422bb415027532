#!/usr/bin/env bash
# Installs what is missing, builds both builds and runs every test: the
# native ones under the sanitizers, the Windows ones under Wine; then replays
# the fuzzing reproducers and fuzzes for three minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh all
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for build in native windows; do
  echo "== $build tests"
  (cd "build/$build" && ctest --output-on-failure -j2) || status=1
done
echo "== fuzzing"
scripts/fuzz.sh 180 || status=1
exit $status
