#!/usr/bin/env python3
"""Turn the test media into raw seeds for the two fuzz targets.

Usage: make_seeds.py MEDIA_DIR OUTDIR

OUTDIR/movie: every file with its mdat bodies cut to a few bytes, so a seed
is its boxes and little else, followed by the three option bytes that
fuzz_movie reads from the end of its input; one seed per option set.
OUTDIR/sample_entries: the entries area of every track's stsd followed by
the choice byte that fuzz_sample_entries reads (the track's handler, the
large budget, the stsd entry count).
"""
import os
import struct
import sys

MDAT_KEPT = 4  # bytes of each mdat body that stay

# fuzz_movie's option bytes: (budget and flags, sample percent, seed).
# The filter's own options (no budget, walk every box), accounting on with
# half the budget for sample access, and the extended fragment mode.
MOVIE_OPTIONS = {
    "filter": bytes([0x08, 0, 0]),
    "budget": bytes([0x0F, 50, 1]),
    "fragments": bytes([0x1F, 30, 2]),
}

# fuzz_sample_entries' choice byte: handler index in bits 0-2, budget index in
# bits 3-4 (0: the large one), entry count index in bits 5-7.
ENTRY_HANDLERS = [b"vide", b"soun", b"odsm", b"meta", b"subt", b"GRAP", b"BKDT"]
ENTRY_COUNTS = [1, 2, 3, 4, 8, 16, 255]
UNKNOWN_HANDLER = 7


def boxes(data, start, end):
    """(type, box offset, header length, box size) of each box in data[start:end]."""
    pos = start
    while end - pos >= 8:
        size, kind = struct.unpack_from(">I4s", data, pos)
        header = 8
        if size == 1 and end - pos >= 16:
            size = struct.unpack_from(">Q", data, pos + 8)[0]
            header = 16
        elif size == 0:
            size = end - pos
        if size < header:
            return
        size = min(size, end - pos)
        yield kind, pos, header, size
        pos += size


def child(data, parent_body, kind):
    """The body range of the first child of that kind, or None."""
    for k, pos, header, size in boxes(data, *parent_body):
        if k == kind:
            return (pos + header, pos + size)
    return None


def cut_mdat(data):
    """The file with each top-level mdat body cut to MDAT_KEPT bytes. The mdat's
    own size field is set to what is left, so the boxes after it are still
    top-level boxes; nothing else (chunk offsets, trun offsets) is fixed."""
    out = bytearray()
    for kind, pos, header, size in boxes(data, 0, len(data)):
        if kind != b"mdat" or size - header <= MDAT_KEPT:
            out += data[pos:pos + size]
            continue
        kept = header + MDAT_KEPT
        box = bytearray(data[pos:pos + kept])
        if header == 16:
            struct.pack_into(">Q", box, 8, kept)
        else:
            struct.pack_into(">I", box, 0, kept)
        out += box
    return bytes(out)


def stsd_seeds(data):
    """(handler type, entry count, entries area) of each track's stsd."""
    moov = child(data, (0, len(data)), b"moov")
    if not moov:
        return
    for kind, pos, header, size in boxes(data, *moov):
        if kind != b"trak":
            continue
        mdia = child(data, (pos + header, pos + size), b"mdia")
        hdlr = mdia and child(data, mdia, b"hdlr")
        minf = mdia and child(data, mdia, b"minf")
        stbl = minf and child(data, minf, b"stbl")
        stsd = stbl and child(data, stbl, b"stsd")
        if not (hdlr and stsd) or stsd[1] - stsd[0] < 8:
            continue
        handler = data[hdlr[0] + 8:hdlr[0] + 12]
        count = struct.unpack_from(">I", data, stsd[0] + 4)[0]
        yield handler, count, data[stsd[0] + 8:stsd[1]]


def entries_choice(handler, count):
    h = ENTRY_HANDLERS.index(handler) if handler in ENTRY_HANDLERS else UNKNOWN_HANDLER
    c = next((i for i, n in enumerate(ENTRY_COUNTS) if n >= count), len(ENTRY_COUNTS))
    return bytes([h | c << 5])


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_seeds.py MEDIA_DIR OUTDIR")
    media, out = sys.argv[1:]
    for sub in ("movie", "sample_entries"):
        os.makedirs(os.path.join(out, sub), exist_ok=True)
    for name in sorted(os.listdir(media)):
        if not name.endswith((".mp4", ".mov", ".3gp")):
            continue
        with open(os.path.join(media, name), "rb") as f:
            data = f.read()
        cut = cut_mdat(data)
        for option, trailer in MOVIE_OPTIONS.items():
            with open(os.path.join(out, "movie", "%s.%s" % (name, option)), "wb") as f:
                f.write(cut + trailer)
        for track, (handler, count, entries) in enumerate(stsd_seeds(data), 1):
            with open(os.path.join(out, "sample_entries", "%s.track%d" % (name, track)), "wb") as f:
                f.write(entries + entries_choice(handler, count))


if __name__ == "__main__":
    main()
