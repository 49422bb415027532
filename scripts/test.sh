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
passed=0
failed=0
run() {
  echo "== $1"
  shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}
run "native tests" bash -c "cd build/native && ctest --output-on-failure -j2"
run "windows tests" bash -c "cd build/windows && ctest --output-on-failure -j2"
run "fuzzing" scripts/fuzz.sh 180
echo "suites: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
