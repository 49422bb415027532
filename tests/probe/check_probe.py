#!/usr/bin/env python3
"""Runs bxfprobe on every corpus file, compares what it reports with ffprobe's view of the file (the packet table
beside it, tests/graph/stream_packets.py), and runs it on broken files.

usage: check_probe.py CORPUS_DIR WORK_DIR PROBE [EMULATOR...]

Every corpus file must open: exit 0, JSON that parses, a moov, the fragment boxes where the file has them, and the
text output. Tracks: as many as ffprobe has streams; for every track and its first sample entry, both must agree on
the codec four-character code (the original format for encrypted entries), the width and height, the channels and
sample rate, the time scale, and the decoder configuration: ffprobe's extradata is the avcC or hvcC record, or the
DecoderSpecificInfo of the esds. An edit offset must move its track's earliest presentation where ffprobe's
edit-list handling puts it.

Samples: for every track, in order, what bxfprobe --samples lists must agree with ffprobe's packets (edit lists
ignored): size, file position, decode time, duration (or the gap to the next decode time), key flag, and pts - dts
as the composition offset. Fragmented files are read in both fragment modes. ffmpeg hands out PCM samples a
chunk's worth at a time, so where a stream has fewer packets than the track has samples, each packet must be
exactly a run of contiguous samples. The first difference of each track is printed.

Auxiliary information: every sample of cenc.mp4 has the entry of its track's senc box (below).

Lookups by time through a fragment index and by scanning agree; a truncated and a garbage file fail with the
documented code's name and a non-zero exit; no run may print a sanitizer report.
"""
import json
import os
import random
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "graph"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from check_list import check, summary  # noqa: E402
from kelo_play import ffprobe  # noqa: E402
from stream_packets import read_table  # noqa: E402


def run_probe(probe, *args):
    result = subprocess.run(probe + list(args), capture_output=True, text=True, timeout=600)
    check("Sanitizer" not in result.stderr, f"sanitizer report for {args}: {result.stderr}")
    return result


def probe_json(probe, *args):
    """Each line bxfprobe --json prints, parsed; none when it fails."""
    result = run_probe(probe, "--json", *args)
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


def compare_samples(name, mode, samples, streams):
    check(len(samples) == len(streams), f"{name}: {len(samples)} tracks with samples, {len(streams)} streams")
    for index, stream in enumerate(streams):
        mine, packets = samples.get(index + 1, []), stream["packets"]
        where = f"{name} (fragment mode {mode}) track {index + 1}"
        if len(mine) == len(packets):
            compare_one_to_one(where, mine, packets)
        elif check(len(mine) > len(packets), f"{where}: {len(mine)} samples, ffprobe has {len(packets)}"):
            compare_coalesced(where, mine, packets)


def check_edit_offsets(name, path, movie, samples):
    """A track's earliest presentation time moved by the edit offset bxfprobe prints is where ffprobe, edit lists
    applied, presents it."""
    offsets = {t["track"]: t["edit_offset"] for t in movie["tracks"] if "edit_offset" in t}
    if not offsets:
        return
    for track, offset in offsets.items():
        earliest = min((s["pts"] for s in samples.get(track, [])), default=0)
        theirs = min(int(p["pts"]) for p in ffprobe(path, str(track - 1), "packet=pts")["packets"])
        check(earliest + offset == theirs,
              f"{name} track {track}: earliest pts {earliest} + edit offset {offset}, ffprobe with edit lists {theirs}")


# cenc.mp4 keeps senc, saio and saiz in each track's stbl. Read here from the file's own boxes, independently of the
# library: each sample's auxiliary information, as bxfprobe --aux lists it, must be aux_flags 2, the scheme type of
# its track's schm, and exactly its senc entry (its IV, then, with senc flags bit 1, the subsample count and entries).
AUX_FILE = "cenc.mp4"
# Bytes of fixed fields before the children of the protected sample entries.
ENTRY_FIELDS = {b"encv": 78, b"enca": 28}


def boxes(data, start, end):
    """(type, body offset, end) of each box in data[start:end]; ffmpeg writes this small file with 32-bit sizes."""
    pos = start
    while pos + 8 <= end:
        size, kind = struct.unpack_from(">I4s", data, pos)
        if size < 8 or pos + size > end:
            raise ValueError(f"bad box size {size} at {pos}")
        yield kind, pos + 8, pos + size
        pos += size


def children(data, body, end):
    return {kind: (body_, end_) for kind, body_, end_ in boxes(data, body, end)}


def find(data, body, end, path):
    """The (body, end) of the first box along `path` of container types."""
    for kind in path:
        found = children(data, body, end).get(kind)
        if not found:
            return None
        body, end = found
        if kind == b"stsd":
            body += 8  # version/flags and the entry count
        elif kind in ENTRY_FIELDS:
            body += ENTRY_FIELDS[kind]
    return body, end


def track_facts(data, trak_body, trak_end):
    """The scheme type of the track's first sample entry, and (offset, size) of each of its senc entries."""
    stbl = find(data, trak_body, trak_end, [b"mdia", b"minf", b"stbl"])
    entries = find(data, *stbl, [b"stsd"])
    entry_type = next(iter(boxes(data, *entries)))[0]
    sinf = children(data, *find(data, *entries, [entry_type, b"sinf"]))
    scheme = data[sinf[b"schm"][0] + 4:sinf[b"schm"][0] + 8].decode("latin-1")
    iv_size = data[find(data, *sinf[b"schi"], [b"tenc"])[0] + 7]
    senc_body, _ = children(data, *stbl)[b"senc"]
    version_and_flags, count = struct.unpack_from(">II", data, senc_body)
    pos = senc_body + 8
    senc_entries = []
    for _ in range(count):
        start = pos
        pos += iv_size
        if version_and_flags & 2:  # subsample entries follow the IV
            pos += 2 + 6 * struct.unpack_from(">H", data, pos)[0]
        senc_entries.append((start, pos - start))
    return scheme, senc_entries


def check_aux(name, path, samples):
    data = open(path, "rb").read()
    moov = children(data, 0, len(data))[b"moov"]
    traks = [(body, end) for kind, body, end in boxes(data, *moov) if kind == b"trak"]
    for number, (body, end) in enumerate(traks, 1):
        scheme, senc_entries = track_facts(data, body, end)
        listed = samples.get(number, [])
        check(len(listed) == len(senc_entries) > 0, f"{name} track {number}: {len(listed)} samples, senc holds "
              f"{len(senc_entries)}")
        for s, senc_entry in zip(listed, senc_entries):
            got = (s["aux_flags"], s["aux_info_type"], s["aux_offset"], s["aux_size"])
            if not check(got == (2, scheme, *senc_entry),
                         f"{name} track {number} sample {s['sample']}: (aux_flags, type, offset, size) {got}, "
                         f"the senc entry is {senc_entry} (scheme {scheme})"):
                break  # the first difference of a track is enough


def check_file(probe, name, path):
    """Every check of one corpus file; its movie as bxfprobe --json prints it."""
    streams = read_table(path)
    opened = probe_json(probe, path)
    if not opened:
        return {}
    movie = opened[0]
    check("MOOV_BOX" in movie["present"], f"{name}: no moov")
    check(movie["time_scale"] > 0, f"{name}: time scale 0")
    fragmented = name.startswith("frag")  # fragments.ismv too
    if fragmented:
        check("TREX_BOX" in movie["present"] and "MOOF_BOX" in movie["present"], f"{name}: not fragmented")
    with_mfra = ("frag_mfra.mp4", "frag_moov_samples.mp4", "frag_late.mp4", "fragments.ismv")
    check(("MFRA_BOX" in movie["present"]) == (name in with_mfra), f"{name}: mfra presence {movie['present']}")
    text = run_probe(probe, path)
    check(text.returncode == 0 and "track_count: %d" % movie["track_count"] in text.stdout,
          f"{name}: text output (exit {text.returncode}): {text.stdout[-200:]!r} {text.stderr[-200:]!r}")
    check(movie["track_count"] == len(movie["tracks"]) == len(streams),
          f"{name}: {len(movie['tracks'])} tracks, ffprobe has {len(streams)} streams")
    for track, stream in zip(movie["tracks"], streams):
        compare_track(f"{name} track {track['track']}", track, stream)
    for mode in (0, 1) if fragmented else (0,):
        aux = ["--aux"] if mode == 0 and name == AUX_FILE else []
        samples = {}
        for s in probe_json(probe, "--fragment-mode", str(mode), "--samples", *aux, path):
            samples.setdefault(s["track"], []).append(s)
        compare_samples(name, mode, samples, streams)
        if mode == 0:
            check_edit_offsets(name, path, movie, samples)
        if aux:
            check_aux(name, path, samples)
    return movie


def main():
    corpus, work, probe = sys.argv[1], sys.argv[2], sys.argv[4:] + [sys.argv[3]]
    os.makedirs(work, exist_ok=True)
    # .ismv: ffmpeg's segmented-streaming layout (fragments only, an mdhd duration of all ones).
    names = sorted(n for n in os.listdir(corpus) if n.endswith((".mp4", ".3gp", ".mov", ".ismv")))
    check(len(names) >= 12, f"corpus too small: {names}")
    movies = {name: check_file(probe, name, os.path.join(corpus, name)) for name in names}

    # The same fragments found by scanning and through the random-access
    # index: every lookup by time agrees.
    for seconds in ("0", "0.5", "1.3", "1.99", "2.5"):
        answers = [run_probe(probe, "--at", seconds, os.path.join(corpus, n)).stdout
                   for n in ("frag.mp4", "frag_mfra.mp4")]
        check(answers[0] == answers[1] and ("start" in answers[0]) == (float(seconds) < 2),
              f"--at {seconds}: scanning and the index disagree: {answers}")

    with open(os.path.join(corpus, "faststart.mp4"), "rb") as f:
        faststart = f.read()
    rng = random.Random(1234)
    garbage = bytes(rng.randrange(256) for _ in range(4096))
    cases = [
        # cut inside its movie header: the header is too short
        ("truncated_in_mvhd.mp4", faststart[:movies["faststart.mp4"]["boxes"]["moov/mvhd"]["offset"] + 50],
         "BXF_RET_FORMAT"),
        ("garbage.bin", b"\xff\xff\xff\xff" + garbage, "BXF_RET_NOTFOUND"),  # one unknown box, no movie
        ("bad_size.bin", b"\x00\x00\x00\x04" + garbage, "BXF_RET_FORMAT"),  # a box of 4 bytes
        ("does-not-exist.mp4", None, "BXF_RET_FILE"),  # not written: no file at all
    ]
    for name, content, code in cases:
        path = os.path.join(work, name)
        if content is not None:
            with open(path, "wb") as f:
                f.write(content)
        result = run_probe(probe, path)
        check(result.returncode != 0 and code in result.stderr,
              f"{name}: exit {result.returncode}, want {code}: {result.stderr.strip()}")

    return summary()


if __name__ == "__main__":
    sys.exit(main())
