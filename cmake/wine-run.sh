#!/bin/sh
# Runs a Windows program under Wine: wine-run.sh PROGRAM.exe [ARGS...]
#
# CMake uses this as CMAKE_CROSSCOMPILING_EMULATOR (see mingw-w64-x86_64.cmake),
# which copies it into BUILD/wine/. The Wine prefix then lives beside it in
# BUILD/wine/prefix, private to that build folder, unless WINEPREFIX is set.
#
# Arguments are passed on untouched. Wine maps / to drive Z:, so a program
# can open "/tmp/x.mp4" as well as "Z:\tmp\x.mp4". The program's exit code
# becomes ours (Unix has 8 bits for it; Wine keeps a failure non-zero).

set -eu

here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/prefix}"
export WINEARCH=win64
# Quiet logs; no Mono or Gecko install prompts (they would wait for a click);
# no menu entries written into the user's home.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
# Wine turns Unix arguments and file names into UTF-16 with the locale's
# charset; under plain "C" a path like /tmp/é.mp4 would not reach the program.
case "${LC_ALL:-${LC_CTYPE:-${LANG:-}}}" in
  *[Uu][Tt][Ff]-8* | *[Uu][Tt][Ff]8*) ;;
  *) export LC_ALL=C.UTF-8 ;;
esac

# Debian's wine64 package keeps the loader out of PATH.
if [ -x /usr/lib/wine/wine64 ]; then
  wine=/usr/lib/wine/wine64
elif command -v wine64 >/dev/null 2>&1; then
  wine=$(command -v wine64)
elif command -v wine >/dev/null 2>&1; then
  wine=$(command -v wine)
else
  echo "wine-run.sh: no Wine found (install the wine64 package)" >&2
  exit 127
fi
wineserver=$(dirname "$wine")/wineserver
if [ ! -x "$wineserver" ]; then
  wineserver=$(command -v wineserver64 || command -v wineserver || echo wineserver)
fi

ready="$WINEPREFIX/.kelo-ready-2"  # -2: prefixes made before the debugger was turned off are set up again
log="$WINEPREFIX.log"
mkdir -p "$(dirname "$WINEPREFIX")"

# Setup steps run quietly, with their output in the log.
setup() { "$@" </dev/null >>"$log" 2>&1; }

# ctest -j starts several tests at once; only one of them may build the
# prefix or start Wine's background processes, the others wait here.
exec 9>"$WINEPREFIX.lock"
flock 9

# First use: build the prefix (takes several seconds). These steps keep the
# lock (fd 9) even if this script is killed meanwhile, e.g. by a timeout, so
# the next run waits for them instead of booting the prefix a second time.
boot_prefix() {
  setup "$wine" wineboot -i &&
  # A crashing test must end, not wait on a "program error" window.
  setup "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
    /t REG_DWORD /d 0 /f &&
  # ... and fail: winedbg --auto lets some crashed programs end with status 0
  # (kelo-stress dying of a division by zero in the module, Wine 8). With no
  # debugger to start, Wine ends the process with the exception's code.
  setup "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Debugger /t REG_SZ /d no-debugger /f &&
  # Let wineserver write the registry out and quit before anyone uses it.
  setup "$wineserver" -w
}
if [ ! -f "$ready" ]; then
  # On a loaded machine a first boot has failed once (wineboot exiting with a
  # half-made prefix); the prefix is then made again from nothing.
  if ! boot_prefix; then
    setup "$wineserver" -k || true
    rm -rf "$WINEPREFIX"
    if ! boot_prefix; then
      echo "wine-run.sh: could not set up the Wine prefix $WINEPREFIX:" >&2
      cat "$log" >&2
      exit 1
    fi
  fi
  touch "$ready"
fi

# The first Windows program of a session starts services.exe, rpcss.exe and
# friends, which inherit its stderr and keep it open for a while after the
# program ends: ctest would wait seconds on every test. So start wineserver
# ourselves, lingering 10 s between tests, and boot the session with output
# to the log. When the server is already running, this fails and does nothing.
# These processes stay after we end, so they must not inherit the lock.
if setup "$wineserver" -p10 9>&-; then
  setup "$wine" wineboot 9>&- || true
fi

exec 9>&-
exec "$wine" "$@"
