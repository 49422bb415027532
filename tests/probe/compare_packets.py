#!/usr/bin/env python3
"""Compares every sample that bxfprobe --samples reports with ffprobe's packets.

usage: compare_packets.py CORPUS_DIR PROBE [EMULATOR...]

For every corpus file and every track, in order: size, file position, decode
time, duration (or the gap to the next decode time), key flag, and pts - dts
as the composition offset must agree with ffprobe -show_packets (edit lists
ignored). Fragmented files are read in
both fragment modes. ffmpeg
hands out PCM samples a chunk's worth at a time, so where a stream has fewer
packets than the track has samples, each packet must be exactly a run of
contiguous samples. The first difference of each track is printed.
"""
import json
import os
import subprocess
import sys

failures = []
compared = 0


def fail(what):
    failures.append(what)
    print("FAIL:", what)


def ffprobe_packets(path):
    out = subprocess.run(["ffprobe", "-v", "quiet", "-ignore_editlist", "1", "-show_packets", "-of", "json", path],
                         capture_output=True, text=True, check=True).stdout
    streams = {}
    for p in json.loads(out)["packets"]:
        streams.setdefault(p["stream_index"], []).append(p)
    return streams


def probe_samples(probe, path, mode):
    result = subprocess.run(probe + ["--json", "--fragment-mode", str(mode), "--samples", path],
                            capture_output=True, text=True, timeout=600)
    if result.returncode != 0:
        fail(f"{path}: bxfprobe --samples exit {result.returncode}: {result.stderr.strip()}")
        return {}
    tracks = {}
    for line in result.stdout.splitlines():
        s = json.loads(line)
        tracks.setdefault(s["track"], []).append(s)
    return tracks


def compare_one_to_one(where, samples, packets):
    global compared
    for i, (s, p) in enumerate(zip(samples, packets)):
        # libavformat rewrites some packet durations (a fragment track's first
        # AAC frame, a track's last one) and leaves out those it does not
        # know; the file's own duration is the gap to the next decode time, so
        # either agreeing is enough. Only the last packet's can't be checked
        # that way.
        gap = packets[i + 1]["dts"] - p["dts"] if i + 1 < len(packets) else None
        duration_ok = s["duration"] in (p.get("duration"), gap) or (gap is None and "duration" not in p)
        if gap is None and not duration_ok:
            duration_ok = True  # unverifiable: nothing follows in the file
        mine = (s["size"], s["offset"], s["dts"], bool(s["sync"]), s["cts_offset"])
        theirs = (int(p["size"]), int(p["pos"]), p["dts"], "K" in p["flags"], p["pts"] - p["dts"])
        if mine != theirs or not duration_ok:
            fail(f"{where} sample {s['sample']}: (size, pos, dts, key, cts) {mine} vs ffprobe {theirs}, "
                 f"duration {s['duration']} vs {p.get('duration')} (gap to the next packet {gap})")
            return
        compared += 1


def compare_coalesced(where, samples, packets):
    """Each packet is a run of samples lying back to back in the file."""
    global compared
    i = 0
    for p in packets:
        start, size, duration = i, 0, 0
        while i < len(samples) and size < int(p["size"]):
            if samples[i]["offset"] != int(p["pos"]) + size:
                break
            size += samples[i]["size"]
            duration += samples[i]["duration"]
            i += 1
        first = samples[start] if start < len(samples) else None
        if not first or size != int(p["size"]) or duration != p["duration"] or first["dts"] != p["dts"]:
            fail(f"{where}: packet at pos {p['pos']} (size {p['size']}, duration {p['duration']}) does not match "
                 f"samples from {start + 1}")
            return
        compared += 1
    if i != len(samples):
        fail(f"{where}: {len(samples) - i} samples left after the last packet")


def main():
    corpus, probe = sys.argv[1], sys.argv[3:] + [sys.argv[2]]
    # .ismv: ffmpeg's segmented-streaming layout (fragments only, an mdhd
    # duration of all ones), compared here and in both fragment modes.
    names = sorted(n for n in os.listdir(corpus) if n.endswith((".mp4", ".3gp", ".mov", ".ismv")))
    fragmented = [n for n in names if n.startswith("frag") or n.endswith(".ismv")]
    runs = [(name, mode) for name in names for mode in ((0, 1) if name in fragmented else (0,))]
    for name, mode in runs:
        path = os.path.join(corpus, name)
        tracks = probe_samples(probe, path, mode)
        streams = ffprobe_packets(path)
        if len(tracks) != len(streams):
            fail(f"{name}: {len(tracks)} tracks with samples, ffprobe has {len(streams)} streams")
        for index, packets in sorted(streams.items()):
            samples = tracks.get(index + 1, [])
            where = f"{name} (fragment mode {mode}) track {index + 1}"
            if len(samples) == len(packets):
                compare_one_to_one(where, samples, packets)
            elif len(samples) > len(packets):
                compare_coalesced(where, samples, packets)
            else:
                fail(f"{where}: {len(samples)} samples, ffprobe has {len(packets)} packets")
    print(f"{compared} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
