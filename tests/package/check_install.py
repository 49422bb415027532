#!/usr/bin/env python3
"""A Windows user's install, in a fresh Wine prefix: the release zip is
unpacked, and the command lines of its README-Windows.txt (the lines indented
by four blanks) are run exactly as written, in the unpacked folder, by cmd
from a batch file: register with regsvr32, play the sample file with kelo-play.exe (the
text's example path replaced by the sample's), probe it with bxfprobe.exe,
unregister. After registering, both classes point at the unpacked module;
kelo-play, which makes the filter through COM, plays both pins to the end;
after unregistering, the classes are gone.

usage: check_install.py PACKAGE_SH BUILD_DIR SAMPLE_FILE WORK_DIR WINE_RUN
"""
import os
import re
import shutil
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
from check_list import check, failures  # noqa: E402

FILTER_CLASS = "{F8A1118B-3CC0-410E-BF71-0A3AE1F74AB4}"
PAGE_CLASS = "{3E26C442-49CA-4BB5-90D8-FA8570B871A6}"
EXAMPLE_PATH = re.compile(r'"C:\\Users\\you\\[^"]*"')


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def command_lines(text):
    return [line[4:].rstrip() for line in text.splitlines() if line.startswith("    ") and line.strip()]


def one(lines, prefix, label):
    found = [line for line in lines if line.startswith(prefix)]
    check(len(found) == 1, f"the text has one {label} line: {found}")
    return found[0] if found else None


class Prefix:
    def __init__(self, wine_run, path):
        self.wine_run = os.path.abspath(wine_run)  # the steps run in the unpacked folder
        self.env = dict(os.environ, WINEPREFIX=os.path.abspath(path))

    def run(self, args, cwd=None, timeout=180):
        done = subprocess.run([self.wine_run] + args, cwd=cwd, env=self.env, capture_output=True, timeout=timeout)
        return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")

    def server_path(self, clsid):
        code, out, _ = self.run(["reg", "query", f"HKCR\\CLSID\\{clsid}\\InprocServer32", "/ve"])
        match = re.search(r"REG_SZ\s+(.+)", out)
        return match.group(1).strip() if code == 0 and match else None

    def command(self, line, folder):
        """Runs one command line as a user types it at a prompt in `folder`:
        written whole into a batch file, so no argument quoting comes between."""
        batch = os.path.join(folder, "step.cmd")
        with open(batch, "w", newline="\r\n") as f:
            f.write("@" + line + "\n")
        try:
            return self.run(["cmd", "/c", "step.cmd"], cwd=folder)
        finally:
            os.remove(batch)

    def stop(self):
        server = "/usr/lib/wine/wineserver"
        if not os.path.exists(server):
            server = shutil.which("wineserver") or "wineserver"
        subprocess.run([server, "-k"], env=self.env, capture_output=True)


def main():
    package_sh, build, sample, work, wine_run = sys.argv[1:6]
    prefix = Prefix(wine_run, os.path.join(work, "prefix"))
    if os.path.isdir(os.path.join(work, "prefix")):
        prefix.stop()
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    zip_path = subprocess.run(["bash", package_sh, "--from", build, "--out", work], capture_output=True, text=True,
                              check=True).stdout.strip().splitlines()[-1]
    unpacked = os.path.join(work, "unpacked")
    with zipfile.ZipFile(zip_path) as z:
        z.extractall(unpacked)
    folder = os.path.join(unpacked, os.path.splitext(os.path.basename(zip_path))[0])
    with open(os.path.join(folder, "README-Windows.txt"), newline="") as f:
        text = f.read()
    check("\r\n" in text and "\n" not in text.replace("\r\n", ""), "the text has Windows line ends throughout")
    lines = command_lines(text)
    register = one(lines, "regsvr32 /s", "register")
    unregister = one(lines, "regsvr32 /u", "unregister")
    play = one(lines, "kelo-play.exe", "play")
    probe = one(lines, "bxfprobe.exe", "probe")
    if None in (register, unregister, play, probe):
        return 1
    for label, line in (("play", play), ("probe", probe)):
        check(EXAMPLE_PATH.search(line), f"the {label} line names a file as the example path: {line}")
    sample_arg = '"' + windows_path(sample) + '"'
    module = windows_path(os.path.join(folder, "KeloMervane.ax"))

    try:
        # The first program boots the new prefix; its result does not matter.
        prefix.run(["cmd", "/c", "exit 0"], timeout=300)
        check(prefix.server_path(FILTER_CLASS) is None, "the fresh prefix knows nothing of the filter")

        code, out, err = prefix.command(register, folder)
        check(code == 0, f"'{register}' succeeds (exit {code}): {err[-300:]}")
        for label, clsid in (("filter", FILTER_CLASS), ("property page", PAGE_CLASS)):
            server = prefix.server_path(clsid)
            check(server is not None and server.lower() == module.lower(),
                  f"the {label} class is served by the unpacked module: {server!r}, expected {module!r}")

        code, out, err = prefix.command(EXAMPLE_PATH.sub(lambda _: sample_arg, play), folder)
        check(code == 0, f"'{play}' plays the sample (exit {code}): {err[-400:]}")
        check(re.search(r"^complete in ", out, re.M), f"kelo-play reports the play complete:\n{out}")
        pins = re.findall(r"^pin \d+ ", out, re.M)
        check(len(pins) == 2, f"both of the sample's tracks played through a pin: {len(pins)}\n{out}")
        check(out.count("end of stream yes") == len(pins), "every pin reached its end of stream")

        code, out, err = prefix.command(EXAMPLE_PATH.sub(lambda _: sample_arg, probe), folder)
        check(code == 0, f"'{probe}' probes the sample (exit {code}): {err[-300:]}")
        check("twos" in out and "avc1" in out, f"bxfprobe names the sample's two sample entries:\n{out[:600]}")

        code, out, err = prefix.command(unregister, folder)
        check(code == 0, f"'{unregister}' succeeds (exit {code}): {err[-300:]}")
        for label, clsid in (("filter", FILTER_CLASS), ("property page", PAGE_CLASS)):
            check(prefix.server_path(clsid) is None, f"the {label} class is gone after unregistering")
    finally:
        prefix.stop()
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
