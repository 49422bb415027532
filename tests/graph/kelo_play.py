"""What the kelo-play checkers share: a play through the module (its JSON lines and its dumps), and ffmpeg's view
of the source to hold it to (packets with their bytes, decoded pictures and PCM)."""
import json
import os
import shutil
import subprocess
import sys
from fractions import Fraction

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
from check_list import check, run, summary  # noqa: E402, F401 (for the checkers)

MEDIATYPE_VIDEO = "{73646976-0000-0010-8000-00AA00389B71}"
MEDIATYPE_AUDIO = "{73647561-0000-0010-8000-00AA00389B71}"


def player_arguments(usage, leading):
    """For a checker called as SCRIPT ARG... MODULE.ax WORK_DIR KELO_PLAY_EXE [EMULATOR...] with `leading` ARGs:
    those, the work folder (made) and the kelo-play command line with --module; with arguments missing, the usage
    printed and exit status 2."""
    args = sys.argv[1:]
    if len(args) < leading + 3:
        print(usage)
        sys.exit(2)
    first, (module, work, exe), emulator = args[:leading], args[leading:leading + 3], args[leading + 3:]
    os.makedirs(work, exist_ok=True)
    return first, work, emulator + [exe, "--module", module]


def fnv1a(data):
    """The hash kelo-play's JSON gives each sample's bytes."""
    h = 14695981039346656037
    for b in data:
        h = ((h ^ b) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return f"{h:016x}"


def ffprobe(path, select, entries, *options):
    return json.loads(run(["ffprobe", "-v", "error", *options, "-select_streams", select, "-show_entries", entries,
                           "-of", "json", path]))


def source_packets(path, select):
    """The track's packets in decode order: (bytes, pts, key)."""
    info = ffprobe(path, select, "packet=size,pts,flags")["packets"]
    joined = run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:" + select, "-c", "copy", "-f", "data",
                  "-"])
    out, at = [], 0
    for p in info:
        size = int(p["size"])
        out.append((joined[at:at + size], int(p["pts"]), "K" in p["flags"]))
        at += size
    assert at == len(joined)
    return out


def pictures(path, *before_input):
    """ffmpeg's decoded pictures in display order: (presentation time in seconds, framemd5 hash)."""
    out = run(["ffmpeg", "-nostdin", "-v", "error", *before_input, "-i", path, "-map", "0:v", "-vsync", "passthrough",
               "-f", "framemd5", "-"], text=True)
    tb = next(Fraction(line.split(":")[1].strip()) for line in out.splitlines() if line.startswith("#tb 0"))
    rows = [line.split(",") for line in out.splitlines() if line and not line.startswith("#")]
    return [(float(int(r[2]) * tb), r[-1].strip()) for r in rows]


def frame_hashes(path, *before_input):
    return [h for _, h in pictures(path, *before_input)]


def pcm(path, *before_input, fmt="s16le"):
    return run(["ffmpeg", "-nostdin", "-v", "error", *before_input, "-i", path, "-map", "0:a", "-f", fmt, "-"])


def kelo_play(player, args, timeout=300, env=None):
    """kelo-play's exit code, standard output and standard error."""
    done = subprocess.run(player + args, capture_output=True, timeout=timeout, env=dict(os.environ, **(env or {})))
    return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")


def json_lines(out):
    """The events of a --json play's standard output, parsed."""
    return [json.loads(line) for line in out.splitlines() if line.startswith("{")]


def play(player, work, label, args):
    """Plays with --json and --dump: the JSON lines and the dumped files by extension ({'.h264': path}); None and
    a failed check when kelo-play does not end complete."""
    dump = os.path.join(work, label.replace(" ", "_").replace(",", ""))
    shutil.rmtree(dump, ignore_errors=True)
    code, out, err = kelo_play(player, ["--json", "--dump", dump] + args)
    if not check(code == 0, f"{label}: exit {code}; {err}"):
        return None, {}
    return json_lines(out), {os.path.splitext(f)[1]: os.path.join(dump, f) for f in os.listdir(dump)}


def pins_of(lines, major):
    """The pins whose media type has the major type."""
    return [e["pin"] for e in lines if e["kind"] == "pin" and e["major"].upper() == major]


def samples(lines, pin):
    """The sample events of the pins whose names begin with `pin`."""
    return [e for e in lines if e["kind"] == "sample" and e["pin"].startswith(pin)]


def runs_of(lines, pin=""):
    """The pin's sample events, one list per run between flushes."""
    runs = [[]]
    for e in lines:
        if not e.get("pin", "").startswith(pin):
            continue
        if e["kind"] == "begin_flush" and runs[-1]:
            runs.append([])
        elif e["kind"] == "sample":
            runs[-1].append(e)
    return [r for r in runs if r]


def hashes(run_samples):
    return [e["hash"] for e in run_samples]
