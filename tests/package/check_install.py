#!/usr/bin/env python3
"""A Windows user's install, in a fresh Wine prefix: the release zip is
unpacked, and the command lines of its README-Windows.txt (the lines indented
by four blanks) are run exactly as written, in the unpacked folder, by cmd
from a batch file: unregister before anything is registered, register with
regsvr32 (twice), play the sample file with kelo-play.exe (the text's example
path replaced by the sample's), probe it with bxfprobe.exe, unregister. After
each regsvr32 step mapper_query.exe checks what COM and the filter mapper hold:
the filter once, its classes served by the unpacked module, or no trace of it.
kelo-play, which makes the filter through COM, plays both pins to the end.

usage: check_install.py PACKAGE_SH BUILD_DIR SAMPLE_FILE WORK_DIR WINE_RUN MAPPER_QUERY
"""
import os
import re
import shutil
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
from check_list import check, failures  # noqa: E402

# The mapper passes over a whole category listed below the merit asked for: the default one, "DirectShow Filters",
# is at 0x00600000, below the filter's 0x00800000. In this private prefix it is raised to the top, so that the
# filter's own merit decides what a query finds.
DEFAULT_CATEGORY = r"HKCR\CLSID\{DA4E3DA0-D07D-11D0-BD50-00A0C911CE86}\Instance\{083863F1-70DE-11D0-BD40-00A0C911CE86}"
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
    package_sh, build, sample, work, wine_run, mapper_query = sys.argv[1:7]
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
        code, _, err = prefix.run(["reg", "add", DEFAULT_CATEGORY, "/v", "Merit", "/t", "REG_DWORD", "/d",
                                   "4294967295", "/f"])
        check(code == 0, f"the default filter category is open to every merit: {err[-300:]}")

        def regsvr32(line, query):
            code, _, err = prefix.command(line, folder)
            check(code == 0, f"'{line}' succeeds (exit {code}): {err[-300:]}")
            code, out, err = prefix.run([mapper_query] + query)
            check(code == 0, f"then mapper_query {' '.join(query)}:\n{out[-1500:]}{err[-300:]}")

        regsvr32(unregister, ["absent"])  # nothing was registered
        regsvr32(register, ["registered", module])
        regsvr32(register, ["registered", module])  # still one entry

        code, out, err = prefix.command(EXAMPLE_PATH.sub(lambda _: sample_arg, play), folder)
        check(code == 0, f"'{play}' plays the sample (exit {code}): {err[-400:]}")
        check(re.search(r"^complete in ", out, re.M), f"kelo-play reports the play complete:\n{out}")
        pins = re.findall(r"^pin \d+ ", out, re.M)
        check(len(pins) == 2, f"both of the sample's tracks played through a pin: {len(pins)}\n{out}")
        check(out.count("end of stream yes") == len(pins), "every pin reached its end of stream")

        code, out, err = prefix.command(EXAMPLE_PATH.sub(lambda _: sample_arg, probe), folder)
        check(code == 0, f"'{probe}' probes the sample (exit {code}): {err[-300:]}")
        check("twos" in out and "avc1" in out, f"bxfprobe names the sample's two sample entries:\n{out[:600]}")

        regsvr32(unregister, ["absent"])
    finally:
        prefix.stop()
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
