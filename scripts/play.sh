#!/usr/bin/env bash
# Plays a file through the registered Kelo Mervane filter under Wine:
#   scripts/play.sh FILE [kelo-play options]
# Builds what is missing (scripts/build.sh windows), registers
# build/windows/filter/KeloMervane.ax in the build's private Wine prefix with
# regsvr32 (again only when the module has changed or the prefix is new), then
# runs kelo-play.exe on FILE. Unix paths work: Wine maps / to Z: and keeps the
# working folder. kelo-play's exit status is ours; run it with no FILE for its
# options.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ $# -lt 1 ]; then
  echo "usage: scripts/play.sh FILE [kelo-play options]" >&2
  exit 1
fi

build=$root/build/windows
module=$build/filter/KeloMervane.ax
wine_run=$build/wine/wine-run.sh

# Nothing is rebuilt when everything is up to date.
"$root/scripts/build.sh" windows >&2

# The stamp lives in the prefix, so a new prefix registers again.
stamp=$build/wine/prefix/.kelo-registered
if [ ! -f "$stamp" ] || [ "$module" -nt "$stamp" ]; then
  "$wine_run" regsvr32 /s "$module"
  touch "$stamp"
fi

exec "$wine_run" "$build/tools/kelo-play/kelo-play.exe" "$@"
