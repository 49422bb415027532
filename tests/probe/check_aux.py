#!/usr/bin/env python3
"""Checks the auxiliary information that bxfprobe reports for cenc.mp4.

usage: check_aux.py CORPUS_DIR PROBE [EMULATOR...]

cenc.mp4 (made by make_corpus.sh) keeps senc, saio and saiz in each track's
stbl. Parsing the file here, independently of the library, every sample that
bxfprobe --json --samples --aux lists must have aux_flags 2, the scheme type
of its track's schm, and an aux_offset and aux_size that are exactly the
sample's senc entry (its IV, then, with senc flags bit 1, the subsample count
and entries), wherever the file's saio and saiz put it.
"""
import json
import os
import struct
import subprocess
import sys

failures = []

# Bytes of fixed fields before the children of the protected sample entries.
ENTRY_FIELDS = {b"encv": 78, b"enca": 28}


def fail(what):
    failures.append(what)
    print("FAIL:", what)


def boxes(data, start, end):
    """(type, box offset, body offset, end) of each box in data[start:end]."""
    pos = start
    while pos + 8 <= end:
        size, kind = struct.unpack_from(">I4s", data, pos)
        header = 8
        if size == 1:
            size = struct.unpack_from(">Q", data, pos + 8)[0]
            header = 16
        elif size == 0:
            size = end - pos
        if size < header or pos + size > end:
            raise ValueError(f"bad box size {size} at {pos}")
        yield kind, pos, pos + header, pos + size
        pos += size


def children(data, body, end):
    return {kind: (body_, end_) for kind, _, body_, end_ in boxes(data, body, end)}


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


def u32(data, pos):
    return struct.unpack_from(">I", data, pos)[0]


def track_facts(data, trak_body, trak_end):
    """The scheme type of the track's first sample entry, and (offset, size) of each of its senc entries."""
    stbl = find(data, trak_body, trak_end, [b"mdia", b"minf", b"stbl"])
    entries = find(data, *stbl, [b"stsd"])
    entry_type = next(iter(boxes(data, *entries)))[0]
    sinf = children(data, *find(data, *entries, [entry_type, b"sinf"]))
    scheme = data[sinf[b"schm"][0] + 4:sinf[b"schm"][0] + 8].decode("latin-1")
    iv_size = data[find(data, *sinf[b"schi"], [b"tenc"])[0] + 7]
    senc_body, _ = children(data, *stbl)[b"senc"]
    flags = u32(data, senc_body) & 0xFFFFFF
    pos = senc_body + 8
    senc_entries = []
    for _ in range(u32(data, senc_body + 4)):
        start = pos
        pos += iv_size
        if flags & 2:
            pos += 2 + 6 * struct.unpack_from(">H", data, pos)[0]
        senc_entries.append((start, pos - start))
    return scheme, senc_entries


def main():
    corpus, probe = sys.argv[1], sys.argv[3:] + [sys.argv[2]]
    path = os.path.join(corpus, "cenc.mp4")
    data = open(path, "rb").read()
    moov = children(data, 0, len(data))[b"moov"]
    traks = [(body, end) for kind, _, body, end in boxes(data, *moov) if kind == b"trak"]

    result = subprocess.run(probe + ["--json", "--samples", "--aux", path], capture_output=True, text=True,
                            timeout=300)
    if result.returncode != 0 or "Sanitizer" in result.stderr:
        fail(f"bxfprobe exit {result.returncode}: {result.stderr.strip()}")
        return
    samples = {}
    for line in result.stdout.splitlines():
        s = json.loads(line)
        samples.setdefault(s["track"], []).append(s)
    if sorted(samples) != list(range(1, len(traks) + 1)):
        fail(f"tracks listed {sorted(samples)}, the file has {len(traks)}")

    checked = 0
    for number, (body, end) in enumerate(traks, 1):
        scheme, senc_entries = track_facts(data, body, end)
        listed = samples.get(number, [])
        if len(senc_entries) != len(listed):
            fail(f"track {number}: {len(listed)} samples, senc holds {len(senc_entries)}")
        for s, senc_entry in zip(listed, senc_entries):
            where = f"track {number} sample {s['sample']}"
            got = (s["aux_offset"], s["aux_size"])
            if s["aux_flags"] != 2 or s["aux_info_type"] != scheme:
                fail(f"{where}: aux_flags {s['aux_flags']}, type {s['aux_info_type']} (scheme {scheme})")
            elif got != senc_entry:
                fail(f"{where}: (offset, size) {got}, the senc entry is {senc_entry}")
            else:
                checked += 1
                continue
            break  # the first difference of a track is enough
    print(f"{checked} samples' auxiliary information checked")
    if checked == 0:
        fail("nothing checked")


if __name__ == "__main__":
    main()
    sys.exit(1 if failures else 0)
