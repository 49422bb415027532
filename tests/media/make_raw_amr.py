#!/usr/bin/env python3
"""Writes an AMR narrow-band storage file (.amr, RFC 4867 section 5) by hand.

usage: make_raw_amr.py OUTPUT FRAMES SEED

ffmpeg decodes AMR but has no encoder for it, so the test media are made from
this file by remuxing. Frame layout: one header byte (bit 7 padding 0, bits
6..3 frame type, bit 2 quality = 1, bits 1..0 zero), then the payload for that
frame type. The payload is noise: the framing is what a container parser and
the pins care about, and ffmpeg decodes any payload to some sound. A fixed
seed gives the same file every run; 50 frames make a second.
"""
import random
import sys

# Payload bytes per frame type: 4.75 .. 12.2 kbit/s modes, SID, NO_DATA.
SIZES = {0: 12, 1: 13, 2: 15, 3: 17, 4: 19, 5: 20, 6: 26, 7: 31, 8: 5, 15: 0}


def frame_type(i):
    if i % 50 == 49:
        return 15             # a few NO_DATA frames
    if i % 50 == 48:
        return 8              # and a few SID frames
    if i % 10 == 9:
        return i // 10 % 7    # every tenth frame one of the lower modes 0..6
    return 7                  # mostly 12.2 kbit/s


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    frames, rng = int(sys.argv[2]), random.Random(int(sys.argv[3]))
    out = bytearray(b"#!AMR\n")
    for i in range(frames):
        ft = frame_type(i)
        out.append(ft << 3 | 0x04)
        out += bytes(rng.randrange(256) for _ in range(SIZES[ft]))
    with open(sys.argv[1], "wb") as f:
        f.write(out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
