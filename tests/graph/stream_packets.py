#!/usr/bin/env python3
"""Writes ffprobe's view of media files as small text tables: the one packet table that the graph tests,
kelo-stress and the probe's comparisons read.

usage: stream_packets.py DIR PATTERN...

For each file of DIR that a PATTERN names (a name or a glob) writes NAME.packets.txt beside it:
  stream INDEX TYPE CODEC TIME_BASE_NUM TIME_BASE_DEN RATE CHANNELS BITS EXTRADATA_HEX TAG WIDTH HEIGHT
  packet INDEX PTS DTS DURATION SIZE KEY ADLER32 POS
one line per stream, then one per packet in file order. TYPE is ffprobe's codec_type, TAG its codec_tag_string
(a space written [32], as ffprobe writes other bytes); RATE, CHANNELS, BITS, WIDTH and HEIGHT are 0 where a stream
has none, DURATION is - where ffprobe gives none, POS the packet's file position. Edit lists are ignored, as the
filter ignores them. read_table() reads a table back for the Python checkers.
"""
import json
import os
import pathlib
import subprocess
import sys


def extradata_hex(stream):
    # ffprobe prints extradata as a hexdump, its bytes in columns 10 to 49: "00000000: 0164 000a ffe1 ...  .d......"
    return "".join(line[10:50].replace(" ", "") for line in stream.get("extradata", "").splitlines()) or "-"


def table(path):
    data = json.loads(subprocess.run(["ffprobe", "-v", "error", "-ignore_editlist", "1", "-show_streams", "-show_data",
                                      "-show_packets", "-show_data_hash", "adler32", "-of", "json", str(path)],
                                     capture_output=True, text=True, check=True).stdout)
    lines = []
    for s in data["streams"]:
        num, den = s["time_base"].split("/")
        bits = s.get("bits_per_sample") or s.get("bits_per_raw_sample") or 0
        lines.append(f'stream {s["index"]} {s["codec_type"]} {s["codec_name"]} {num} {den} {s.get("sample_rate", 0)} '
                     f'{s.get("channels", 0)} {bits} {extradata_hex(s)} {s["codec_tag_string"].replace(" ", "[32]")} '
                     f'{s.get("width", 0)} {s.get("height", 0)}')
    for p in data["packets"]:
        key = 1 if p["flags"].startswith("K") else 0
        lines.append(f'packet {p["stream_index"]} {p["pts"]} {p["dts"]} {p.get("duration", "-")} {p["size"]} {key} '
                     f'{p["data_hash"].split(":")[1]} {p["pos"]}')
    return "\n".join(lines) + "\n"


def read_table(media_path):
    """The streams of NAME.packets.txt in index order, each a dict of its fields with its packets in a list."""
    streams = []
    for line in open(f"{media_path}.packets.txt"):
        kind, index, *f = line.split()
        if kind == "stream":
            streams.append(dict(type=f[0], codec=f[1], time_base=f"{f[2]}/{f[3]}", rate=int(f[4]), channels=int(f[5]),
                                extradata=bytes.fromhex(f[7].strip("-")), tag=f[8], width=int(f[9]),
                                height=int(f[10]), packets=[]))
        else:
            streams[int(index)]["packets"].append(dict(pts=int(f[0]), dts=int(f[1]), size=int(f[3]),
                                                       duration=None if f[2] == "-" else int(f[2]), key=f[4] == "1",
                                                       pos=int(f[6])))
    return streams


def main():
    folder = pathlib.Path(sys.argv[1])
    for pattern in sys.argv[2:]:
        for path in sorted(folder.glob(pattern)):
            # Written aside (one name per writer) and renamed, so a reader never sees half a table.
            partial = path.with_name(f"{path.name}.packets.{os.getpid()}.part")
            partial.write_text(table(path))
            os.replace(partial, path.with_name(path.name + ".packets.txt"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
