"""The checks a test script makes: each failure is printed and counted, and
the script ends with how many failed."""
import os
import subprocess
import sys

failures = []


def check(condition, message):
    """Counts and prints `message` when `condition` is false; returns the condition."""
    if not condition:
        failures.append(message)
        print("FAIL: " + message)
    return condition


def run(cmd, **kw):
    """A command's standard output; it must succeed."""
    return subprocess.run(cmd, capture_output=True, check=True, **kw).stdout


def player_arguments(usage, leading):
    """For a script called as SCRIPT ARG... MODULE.ax WORK_DIR KELO_PLAY_EXE [EMULATOR...] with `leading`
    ARGs: those, the work folder (made) and the kelo-play command line with --module; None, with the usage
    printed, when arguments are missing."""
    args = sys.argv[1:]
    if len(args) < leading + 3:
        print(usage)
        return None
    first, (module, work, exe), emulator = args[:leading], args[leading:leading + 3], args[leading + 3:]
    os.makedirs(work, exist_ok=True)
    return first, work, emulator + [exe, "--module", module]


def summary():
    """Prints how the checks went; the script's exit code."""
    print(f"{len(failures)} checks failed" if failures else "all checks passed")
    return 1 if failures else 0
