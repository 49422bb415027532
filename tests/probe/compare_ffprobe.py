#!/usr/bin/env python3
"""Compares what bxfprobe reports of each corpus file with ffprobe's view of it, the packet table beside the file.

usage: compare_ffprobe.py CORPUS_DIR PROBE [EMULATOR...]

Tracks: for every track and its first sample entry, both must agree on the codec four-character code (the
original format for encrypted entries), the width and height, the channels and sample rate, the time scale, and
the decoder configuration: ffprobe's extradata is the avcC or hvcC record, or the DecoderSpecificInfo of the esds.

Samples: for every track, in order, what bxfprobe --samples lists must agree with ffprobe's packets (edit lists
ignored): size, file position, decode time, duration (or the gap to the next decode time), key flag, and pts - dts
as the composition offset. Fragmented files are read in both fragment modes. ffmpeg hands out PCM samples a
chunk's worth at a time, so where a stream has fewer packets than the track has samples, each packet must be
exactly a run of contiguous samples. The first difference of each track is printed.
"""
import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "graph"))
from stream_packets import read_table  # noqa: E402

failures = []
checks = 0


def check(cond, what):
    global checks
    checks += 1
    if not cond:
        failures.append(what)
        print("FAIL:", what)
    return cond


def run_probe(probe, *args):
    result = subprocess.run(probe + list(args), capture_output=True, text=True, timeout=600)
    check(result.returncode == 0, f"bxfprobe {args}: exit {result.returncode}: {result.stderr.strip()}")
    return [json.loads(line) for line in result.stdout.splitlines()] if result.returncode == 0 else []


def with_lengths(units):
    out = bytearray()
    for unit in units:
        data = bytes.fromhex(unit)
        out += len(data).to_bytes(2, "big") + data
    return bytes(out)


def avcc_record(a):
    """The AVCDecoderConfigurationRecord (ISO/IEC 14496-15 5.3.3.1), reserved bits set."""
    rec = bytes([1, a["profile"], a["compatibility"], a["level"], 0xFC | (a["length_size"] - 1),
                 0xE0 | len(a["sps"])]) + with_lengths(a["sps"]) + bytes([len(a["pps"])]) + with_lengths(a["pps"])
    if "sps_ext" in a:
        rec += bytes([0xFC | a["chroma_format"], 0xF8 | (a["bit_depth_luma"] - 8),
                      0xF8 | (a["bit_depth_chroma"] - 8), len(a["sps_ext"])]) + with_lengths(a["sps_ext"])
    return rec


def hvcc_arrays(h):
    out = bytearray([len(h["arrays"])])
    for arr in h["arrays"]:
        out += bytes([(arr["complete"] << 7) | arr["nal_unit_type"]])
        out += len(arr["nal_units"]).to_bytes(2, "big") + with_lengths(arr["nal_units"])
    return bytes(out)


def compare_track(where, track, stream):
    entry = track["sample_entries"][0]
    fourcc = entry["entry_type"]
    for p in entry.get("protection", []):
        fourcc = p.get("original_format", fourcc)
    check(fourcc.replace(" ", "[32]") == stream["tag"], f"{where}: fourcc {fourcc} vs {stream['tag']}")
    check(stream["time_base"] == f"1/{track['time_scale']}", f"{where}: time scale vs {stream['time_base']}")
    if stream["type"] == "video":
        check((entry["width"], entry["height"]) == (stream["width"], stream["height"]), f"{where}: size")
    if stream["type"] == "audio":
        check(entry["channels"] == stream["channels"] or fourcc == "samr",  # AMR entries leave it to damr
              f"{where}: channels {entry['channels']} vs {stream['channels']}")
        check(entry["sample_rate"] == stream["rate"], f"{where}: sample rate")
    extradata = stream["extradata"]
    if "avcC" in entry:
        check(avcc_record(entry["avcC"]) == extradata, f"{where}: avcC differs from extradata")
    elif "hvcC" in entry:
        h = entry["hvcC"]
        check(len(extradata) > 23 and extradata[1] & 0x1F == h["profile"] and extradata[12] == h["level"],
              f"{where}: hvcC header")
        check(extradata[22:] == hvcc_arrays(h), f"{where}: hvcC arrays differ from extradata")
    elif "esds" in entry:
        check(bytes.fromhex(entry["esds"]["decoder_specific_info"]) == extradata,
              f"{where}: DecoderSpecificInfo {entry['esds']['decoder_specific_info']} vs {extradata.hex()}")


def compare_one_to_one(where, samples, packets):
    for i, (s, p) in enumerate(zip(samples, packets)):
        # libavformat rewrites some packet durations (a fragment track's first AAC frame, a track's last one) and
        # leaves out those it does not know; the file's own duration is the gap to the next decode time, so either
        # agreeing is enough. The last packet's cannot be checked: nothing follows it in the file.
        gap = packets[i + 1]["dts"] - p["dts"] if i + 1 < len(packets) else None
        duration_ok = gap is None or s["duration"] in (p["duration"], gap)
        mine = (s["size"], s["offset"], s["dts"], bool(s["sync"]), s["cts_offset"])
        theirs = (p["size"], p["pos"], p["dts"], p["key"], p["pts"] - p["dts"])
        if not check(mine == theirs and duration_ok,
                     f"{where} sample {s['sample']}: (size, pos, dts, key, cts) {mine} vs ffprobe {theirs}, "
                     f"duration {s['duration']} vs {p['duration']} (gap to the next packet {gap})"):
            return


def compare_coalesced(where, samples, packets):
    """Each packet is a run of samples lying back to back in the file."""
    i = 0
    for p in packets:
        start, size, duration = i, 0, 0
        while i < len(samples) and size < p["size"] and samples[i]["offset"] == p["pos"] + size:
            size += samples[i]["size"]
            duration += samples[i]["duration"]
            i += 1
        first = samples[start] if start < len(samples) else None
        if not check(first and (size, duration, first["dts"]) == (p["size"], p["duration"], p["dts"]),
                     f"{where}: packet at pos {p['pos']} (size {p['size']}, duration {p['duration']}) does not "
                     f"match samples from {start + 1}"):
            return
    check(i == len(samples), f"{where}: {len(samples) - i} samples left after the last packet")


def main():
    corpus, probe = sys.argv[1], sys.argv[3:] + [sys.argv[2]]
    # .ismv: ffmpeg's segmented-streaming layout (fragments only, an mdhd duration of all ones).
    names = sorted(n for n in os.listdir(corpus) if n.endswith((".mp4", ".3gp", ".mov", ".ismv")))
    for name in names:
        path = os.path.join(corpus, name)
        streams = read_table(path)
        movie = run_probe(probe, "--json", path)
        tracks = movie[0]["tracks"] if movie else []
        check(len(tracks) == len(streams), f"{name}: {len(tracks)} tracks vs {len(streams)} streams")
        for track, stream in zip(tracks, streams):
            compare_track(f"{name} track {track['track']}", track, stream)
        fragmented = name.startswith("frag") or name.endswith(".ismv")
        for mode in (0, 1) if fragmented else (0,):
            samples = {}
            for s in run_probe(probe, "--json", "--fragment-mode", str(mode), "--samples", path):
                samples.setdefault(s["track"], []).append(s)
            check(len(samples) == len(streams), f"{name}: {len(samples)} tracks with samples, {len(streams)} streams")
            for index, stream in enumerate(streams):
                mine, packets = samples.get(index + 1, []), stream["packets"]
                where = f"{name} (fragment mode {mode}) track {index + 1}"
                if len(mine) == len(packets):
                    compare_one_to_one(where, mine, packets)
                elif check(len(mine) > len(packets), f"{where}: {len(mine)} samples, ffprobe has {len(packets)}"):
                    compare_coalesced(where, mine, packets)
    print(f"{checks - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
