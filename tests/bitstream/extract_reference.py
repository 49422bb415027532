#!/usr/bin/env python3
"""Writes one line per file of OUTDIR: the avcC record or the ES descriptor
stored in its sample entry, and ffprobe's view of the stream.

  avc  NAME AVCC_HEX WIDTH HEIGHT SAR_NUM SAR_DEN DAR_NUM DAR_DEN
  hevc NAME HVCC_HEX WIDTH HEIGHT SAR_NUM SAR_DEN BIT_DEPTH
  m4v  NAME ES_DESCRIPTOR_HEX WIDTH HEIGHT
  aac  NAME ES_DESCRIPTOR_HEX SAMPLE_RATE CHANNELS

A stream without a sample aspect ratio is reported by ffprobe as 0:1 or not
at all; the line then carries 1:1, square samples, and the picture size as
the display aspect ratio."""
import json
import os
import struct
import subprocess
import sys

CONTAINERS = {b"moov", b"trak", b"mdia", b"minf", b"stbl"}


def boxes(data, start, end):
    pos = start
    while pos + 8 <= end:
        size, kind = struct.unpack(">I4s", data[pos:pos + 8])
        if size < 8 or pos + size > end:
            return
        yield kind, pos + 8, pos + size
        pos += size


def find_entry_box(data, wanted):
    """The body of the first `wanted` box inside moov/.../stsd's first entry."""
    def walk(start, end):
        for kind, body, stop in boxes(data, start, end):
            if kind in CONTAINERS:
                found = walk(body, stop)
                if found is not None:
                    return found
            elif kind == b"stsd":
                # version/flags, entry count, then the first sample entry.
                entry = body + 8
                size, _ = struct.unpack(">I4s", data[entry:entry + 8])
                # Visual entries have 78 bytes of fields, audio entries 28.
                for skip in (78, 28):
                    for k, b, s in boxes(data, entry + 8 + skip, entry + size):
                        if k == wanted:
                            return data[b:s]
        return None
    return walk(0, len(data))


def ffprobe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-of", "json", path],
                         check=True, capture_output=True, text=True).stdout
    return json.loads(out)["streams"][0]


def sample_aspect_ratio(stream):
    sar = stream.get("sample_aspect_ratio", "0:1")
    num, den = (int(v) for v in sar.split(":"))
    return (1, 1) if num == 0 or den == 0 else (num, den)


def main():
    out = sys.argv[1]
    for name in sorted(os.listdir(out)):
        if not name.endswith(".mp4"):
            continue
        path = os.path.join(out, name)
        data = open(path, "rb").read()
        stream = ffprobe(path)
        if stream["codec_name"] == "h264":
            avcc = find_entry_box(data, b"avcC")
            num, den = sample_aspect_ratio(stream)
            dar = stream.get("display_aspect_ratio", "0:1")
            dar_num, dar_den = (int(v) for v in dar.split(":"))
            if dar_num == 0 or dar_den == 0:
                dar_num, dar_den = stream["width"], stream["height"]
            print("avc", name, avcc.hex(), stream["width"], stream["height"], num, den, dar_num, dar_den)
        elif stream["codec_name"] == "hevc":
            hvcc = find_entry_box(data, b"hvcC")
            num, den = sample_aspect_ratio(stream)
            depth = 10 if "10" in stream["pix_fmt"] else 8
            print("hevc", name, hvcc.hex(), stream["width"], stream["height"], num, den, depth)
        elif stream["codec_name"] == "mpeg4":
            esds = find_entry_box(data, b"esds")
            print("m4v", name, esds[4:].hex(), stream["width"], stream["height"])
        elif stream["codec_name"] == "aac":
            esds = find_entry_box(data, b"esds")
            # version and flags precede the ES_Descriptor.
            print("aac", name, esds[4:].hex(), stream["sample_rate"], stream["channels"])


if __name__ == "__main__":
    main()
