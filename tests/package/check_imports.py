#!/usr/bin/env python3
"""Checks that every program of the release zip imports only DLLs that a plain
64-bit Windows 10 has (windows10_x64_dlls.txt), read from the import tables
with x86_64-w64-mingw32-objdump -p. Also checks that each is a 64-bit PE, that
the module exports the four COM entry points.

usage: check_imports.py PACKAGE_SH BUILD_DIR WORK_DIR
"""
import os
import re
import shutil
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
from check_list import check, failures  # noqa: E402

OBJDUMP = "x86_64-w64-mingw32-objdump"
HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAMS = ["KeloMervane.ax", "kelo-play.exe", "bxfprobe.exe"]


def allowed_dlls(path):
    with open(path) as f:
        return {line.strip().lower() for line in f if line.strip() and not line.startswith("#")}


def pe_facts(path):
    """(machine/format line, imported DLL names, export names) from objdump -p."""
    text = subprocess.run([OBJDUMP, "-p", path], capture_output=True, text=True, check=True).stdout
    imports = [m.lower() for m in re.findall(r"^\s*DLL Name: (\S+)", text, re.M)]
    table = text.split("[Ordinal/Name Pointer] Table", 1)
    exports = re.findall(r"^\s*\[\s*\d+\]\s+(\w+)\s*$", table[1].split("\n\n", 1)[0], re.M) if len(table) > 1 else []
    fmt = re.search(r"file format (\S+)", text)
    return (fmt.group(1) if fmt else ""), imports, exports


def main():
    package_sh, build, work = sys.argv[1:4]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    zip_path = subprocess.run(["bash", package_sh, "--from", build, "--out", work], capture_output=True, text=True,
                              check=True).stdout.strip().splitlines()[-1]
    with zipfile.ZipFile(zip_path) as z:
        z.extractall(work)
        names = sorted(os.path.basename(n) for n in z.namelist() if not n.endswith("/"))
    check(names == sorted(PROGRAMS + ["README-Windows.txt"]), f"the zip holds the three programs and the text: {names}")
    folder = os.path.join(work, os.path.splitext(os.path.basename(zip_path))[0])

    allowed = allowed_dlls(os.path.join(HERE, "windows10_x64_dlls.txt"))
    for program in PROGRAMS:
        path = os.path.join(folder, program)
        if not check(os.path.isfile(path), f"{program} is in the zip"):
            continue
        fmt, imports, exports = pe_facts(path)
        check(fmt == "pei-x86-64", f"{program}: a 64-bit PE, found {fmt!r}")
        check(len(imports) > 0, f"{program}: its import table was read")
        bad = sorted(set(imports) - allowed)
        check(not bad, f"{program}: imports DLLs a plain Windows 10 lacks: {bad}")
        print(f"{program}: imports {', '.join(sorted(set(imports)))}")
        if program.endswith(".ax"):
            for name in ["DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"]:
                check(name in exports, f"{program} exports {name} (exports: {exports})")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
