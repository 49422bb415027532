#!/usr/bin/env python3
"""Print the box tree of an MP4/MOV/3GP file: type, offset, size, depth.

Usage: list_boxes.py FILE

Only descends into plain container boxes (moov/trak/mdia/minf/stbl,
moof/traf, mfra, ...), into stsd and into the common sample entries, so
the sample entry fourccs and their config boxes show up.
Used to eyeball the test corpus: mfra presence, moof count, senc/saio/saiz.
"""
import struct
import sys

# Boxes whose payload is nothing but child boxes.
CONTAINERS = {b"moov", b"trak", b"mdia", b"minf", b"stbl", b"dinf", b"edts",
              b"mvex", b"moof", b"traf", b"mfra", b"udta", b"sinf", b"schi",
              b"wave"}
VISUAL = {b"avc1", b"mp4v", b"s263", b"encv"}
AUDIO = {b"mp4a", b"samr", b"twos", b"in24", b"sowt", b"enca"}


def walk(f, start, end, depth):
    pos = start
    while pos + 8 <= end:
        f.seek(pos)
        size, kind = struct.unpack(">I4s", f.read(8))
        header = 8
        if size == 1:  # 64-bit largesize follows the type
            size = struct.unpack(">Q", f.read(8))[0]
            header = 16
        elif size == 0:  # box runs to the end of its parent
            size = end - pos
        if size < header:
            print("%s!! bad size %d at %d" % ("  " * depth, size, pos))
            return
        name = kind.decode("latin-1")
        if not name.isprintable():  # e.g. the zero terminator inside wave
            name = "0x" + kind.hex()
        print("%s%s @%d size=%d" % ("  " * depth, name, pos, size))
        if kind in CONTAINERS:
            walk(f, pos + header, pos + size, depth + 1)
        elif kind == b"stsd":
            # Full box (4 bytes version/flags) + entry count, then entries.
            walk(f, pos + header + 8, pos + size, depth + 1)
        elif kind in VISUAL or kind in AUDIO:
            # Sample entries: child boxes (avcC, esds, sinf, wave...) follow
            # the fixed visual/audio fields. QuickTime sound descriptions
            # version 1/2 carry 16/36 extra bytes.
            skip = 78
            if kind in AUDIO:
                f.seek(pos + header + 8)
                version = struct.unpack(">H", f.read(2))[0]
                skip = 28 + {1: 16, 2: 36}.get(version, 0)
            walk(f, pos + header + skip, pos + size, depth + 1)
        pos += size


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: list_boxes.py FILE")
    with open(sys.argv[1], "rb") as f:
        f.seek(0, 2)
        walk(f, 0, f.tell(), 0)


if __name__ == "__main__":
    main()
