#!/usr/bin/env python3
"""Runs bxfprobe on every corpus file and on broken files.

usage: check_probe.py CORPUS_DIR WORK_DIR PROBE [EMULATOR...]

Every corpus file must open (exit 0, JSON that parses, a moov, as many
tracks as ffprobe sees streams in the packet table beside it, edit offsets
that move each track's earliest presentation where ffprobe's edit-list
handling puts it); a truncated and a garbage file must fail with the
documented code's name and a non-zero exit; no run may print a sanitizer
report.
"""
import json
import os
import random
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "graph"))
from stream_packets import read_table  # noqa: E402

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def run_probe(probe, *args):
    result = subprocess.run(probe + list(args), capture_output=True, text=True, timeout=120)
    check("Sanitizer" not in result.stderr, f"sanitizer report for {args}: {result.stderr}")
    return result


def check_edit_offsets(probe, name, path, movie):
    """A track's earliest presentation time moved by the edit offset bxfprobe
    prints is where ffprobe, edit lists applied, presents it."""
    offsets = {t["track"]: t["edit_offset"] for t in movie["tracks"] if "edit_offset" in t}
    if not offsets:
        return
    earliest = {}
    for line in run_probe(probe, "--json", "--samples", path).stdout.splitlines():
        s = json.loads(line)
        earliest[s["track"]] = min(earliest.get(s["track"], s["pts"]), s["pts"])
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "packet=stream_index,pts", "-of", "csv=p=0",
                          path], capture_output=True, text=True, check=True).stdout
    theirs = {}
    for line in out.split():
        index, pts = line.split(",")[:2]
        theirs[int(index) + 1] = min(theirs.get(int(index) + 1, int(pts)), int(pts))
    for track, offset in offsets.items():
        check(earliest.get(track, 0) + offset == theirs.get(track),
              f"{name} track {track}: earliest pts {earliest.get(track)} + edit offset {offset}, "
              f"ffprobe with edit lists {theirs.get(track)}")


def expect_failure(probe, path, code, what):
    result = run_probe(probe, path)
    check(result.returncode != 0, f"{what}: exit code {result.returncode}")
    check(code in result.stderr, f"{what}: expected {code}, got: {result.stderr.strip()}")


def main():
    corpus, work, probe = sys.argv[1], sys.argv[2], sys.argv[4:] + [sys.argv[3]]
    os.makedirs(work, exist_ok=True)
    names = sorted(n for n in os.listdir(corpus) if n.endswith((".mp4", ".3gp", ".mov")))
    check(len(names) >= 12, f"corpus too small: {names}")
    for name in names:
        path = os.path.join(corpus, name)
        result = run_probe(probe, "--json", path)
        check(result.returncode == 0, f"{name}: exit {result.returncode}: {result.stderr.strip()}")
        if result.returncode != 0:
            continue
        movie = json.loads(result.stdout)
        check("MOOV_BOX" in movie["present"], f"{name}: no moov")
        check(movie["time_scale"] > 0, f"{name}: time scale 0")
        streams = len(read_table(path))
        check(movie["track_count"] == streams, f"{name}: {movie['track_count']} tracks, ffprobe sees {streams}")
        if name.startswith("frag"):
            check("TREX_BOX" in movie["present"] and "MOOF_BOX" in movie["present"], f"{name}: not fragmented")
        check(("MFRA_BOX" in movie["present"]) == (name in ("frag_mfra.mp4", "frag_moov_samples.mp4", "frag_late.mp4")),
              f"{name}: mfra presence {movie['present']}")
        check_edit_offsets(probe, name, path, movie)
        text = run_probe(probe, path)
        check(text.returncode == 0 and "track_count: %d" % movie["track_count"] in text.stdout,
              f"{name}: text output")

    # The same fragments found by scanning and through the random-access
    # index: every lookup by time agrees.
    for seconds in ("0", "0.5", "1.3", "1.99", "2.5"):
        answers = [run_probe(probe, "--at", seconds, os.path.join(corpus, n)).stdout
                   for n in ("frag.mp4", "frag_mfra.mp4")]
        check(answers[0] == answers[1] and ("start" in answers[0]) == (float(seconds) < 2),
              f"--at {seconds}: scanning and the index disagree: {answers}")

    # A file cut inside its movie header: the header is too short.
    source = os.path.join(corpus, "faststart.mp4")
    movie = json.loads(run_probe(probe, "--json", source).stdout)
    with open(source, "rb") as f:
        data = f.read()
    truncated = os.path.join(work, "truncated.mp4")
    with open(truncated, "wb") as f:
        f.write(data[: movie["boxes"]["moov/mvhd"]["offset"] + 50])
    expect_failure(probe, truncated, "BXF_RET_FORMAT", "truncated in mvhd")

    rng = random.Random(1234)
    garbage = bytes(rng.randrange(256) for _ in range(4096))
    cases = [
        ("garbage.bin", b"\xff\xff\xff\xff" + garbage, "BXF_RET_NOTFOUND"),  # one unknown box, no movie
        ("bad_size.bin", b"\x00\x00\x00\x04" + garbage, "BXF_RET_FORMAT"),  # a box of 4 bytes
    ]
    for name, content, code in cases:
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(content)
        expect_failure(probe, path, code, name)
    expect_failure(probe, os.path.join(work, "does-not-exist.mp4"), "BXF_RET_FILE", "missing file")

    print(f"{len(names) + 9 - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
