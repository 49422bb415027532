#!/usr/bin/env bash
# Registers and unregisters the filter module with regsvr32 in a Wine prefix
# of its own, made fresh for every run, and checks after each step what COM
# and the filter mapper hold (mapper_query.exe).
#
# Usage: registration_test.sh WINE_RUN MODULE.ax MAPPER_QUERY.exe WORKDIR
#   WINE_RUN   the build's wine-run.sh; the prefix it makes is WORKDIR/prefix
#   WORKDIR    emptied first: no registration survives from an earlier run
#
# Steps: the default filter category opened to every merit (see below);
# unregistering a module never registered succeeds and leaves nothing;
# registering succeeds and leaves the class keys and one mapper entry;
# registering again still leaves one entry; unregistering removes them all.
set -euo pipefail

if [ $# -ne 4 ]; then
    echo "usage: $0 WINE_RUN MODULE.ax MAPPER_QUERY.exe WORKDIR" >&2
    exit 2
fi
WINE_RUN=$1
MODULE=$(realpath "$2")
QUERY=$(realpath "$3")
WORKDIR=$4
[ -f "$MODULE" ] || { echo "registration_test: no module at $MODULE" >&2; exit 1; }

export WINEPREFIX=$WORKDIR/prefix
if [ -x /usr/lib/wine/wineserver ]; then
    WINESERVER=/usr/lib/wine/wineserver
else
    WINESERVER=$(command -v wineserver)
fi
# Stop this prefix's own server (it lingers between programs) before the
# prefix is deleted, and when the test ends.
stop_server() { [ -d "$WINEPREFIX" ] && "$WINESERVER" -k >/dev/null 2>&1 || true; }
stop_server
rm -rf "$WORKDIR"
mkdir -p "$WORKDIR"
trap stop_server EXIT

# regsvr32 records the path it loaded the module from: a Windows path, drive Z: being /.
MODULE_WIN="Z:${MODULE//\//\\}"

passed=0
failed=0
# step DESCRIPTION COMMAND... : the command must exit 0.
step() {
    local what=$1
    shift
    echo "== $what"
    local status=0
    "$@" 2>>"$WORKDIR/wine-stderr.log" || status=$?
    if [ "$status" -eq 0 ]; then
        passed=$((passed + 1))
    else
        echo "FAILED (exit $status): $what"
        failed=$((failed + 1))
    fi
}

# The first program in a new prefix boots it (services, the registry of the
# built-in DLLs); seen here, a registry edit made by that first program can
# fail. Boot it with a program whose result does not matter.
"$WINE_RUN" cmd /c exit 0 >/dev/null 2>>"$WORKDIR/wine-stderr.log" || true

# The mapper skips a whole category whose own merit is below the minimum
# merit asked for, before it looks at any filter's merit. The default
# category, "DirectShow Filters", is listed at 0x00600000, so no query at the
# filter's 0x00800000 would reach it. In this private prefix the category is
# raised to the top, so that the filter's own merit decides the boundary.
step "the DirectShow Filters category is open to every merit" "$WINE_RUN" reg add \
    'HKCR\CLSID\{DA4E3DA0-D07D-11D0-BD50-00A0C911CE86}\Instance\{083863F1-70DE-11D0-BD40-00A0C911CE86}' \
    /v Merit /t REG_DWORD /d 4294967295 /f
step "unregistering a module never registered succeeds" "$WINE_RUN" regsvr32 /u /s "$MODULE_WIN"
step "nothing of the filter is registered" "$WINE_RUN" "$QUERY" absent
step "registering succeeds" "$WINE_RUN" regsvr32 /s "$MODULE_WIN"
step "the filter is registered once, served by the module" "$WINE_RUN" "$QUERY" registered "$MODULE_WIN"
step "registering again succeeds" "$WINE_RUN" regsvr32 /s "$MODULE_WIN"
step "still one mapper entry" "$WINE_RUN" "$QUERY" registered "$MODULE_WIN"
step "unregistering succeeds" "$WINE_RUN" regsvr32 /u /s "$MODULE_WIN"
step "nothing of the filter is left" "$WINE_RUN" "$QUERY" absent

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
