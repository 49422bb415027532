"""The checks a test script makes: each failure is printed and counted, and
the script ends with how many failed."""
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


def summary():
    """Prints how the checks went; the script's exit code."""
    print(f"{len(failures)} checks failed" if failures else "all checks passed")
    return 1 if failures else 0
