#!/usr/bin/env python3
"""Writes ffprobe's view of media files as small text tables: the one packet table that the graph tests
and kelo-stress read.

usage: stream_packets.py DIR PATTERN...

For each file of DIR that a PATTERN names (a name or a glob) writes NAME.packets.txt beside it:
  stream INDEX TYPE CODEC TIME_BASE_NUM TIME_BASE_DEN RATE CHANNELS BITS EXTRADATA_HEX   one line per stream
  packet INDEX PTS DTS DURATION SIZE KEY ADLER32                                       one line per packet
TYPE is ffprobe's codec_type; RATE, CHANNELS and BITS are 0 where a stream has none. Packets in file order.
Edit lists are ignored, as the filter ignores them.
"""
import json
import pathlib
import subprocess
import sys


def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-ignore_editlist", "1", "-show_streams", "-show_data",
                          "-show_packets", "-show_data_hash", "adler32", "-of", "json", str(path)],
                         capture_output=True, text=True, check=True).stdout
    return json.loads(out)


def extradata_hex(stream):
    # ffprobe prints extradata as a hexdump: "00000000: 0164 000a ffe1 ...  .d......"
    data = stream.get("extradata", "")
    hex_digits = []
    for line in data.splitlines():
        if ":" not in line:
            continue
        groups = line.split(":", 1)[1].strip().split("  ")[0]
        hex_digits.append(groups.replace(" ", ""))
    return "".join(hex_digits) or "-"


def table(path):
    data = probe(path)
    lines = []
    for s in data["streams"]:
        num, den = s["time_base"].split("/")
        bits = s.get("bits_per_sample") or s.get("bits_per_raw_sample") or 0
        lines.append(f'stream {s["index"]} {s["codec_type"]} {s["codec_name"]} {num} {den} {s.get("sample_rate", 0)} '
                     f'{s.get("channels", 0)} {bits} {extradata_hex(s)}')
    for p in data["packets"]:
        key = 1 if p["flags"].startswith("K") else 0
        lines.append(f'packet {p["stream_index"]} {p["pts"]} {p["dts"]} {p["duration"]} {p["size"]} {key} '
                     f'{p["data_hash"].split(":")[1]}')
    return "\n".join(lines) + "\n"


def main():
    folder = pathlib.Path(sys.argv[1])
    for pattern in sys.argv[2:]:
        for path in sorted(folder.glob(pattern)):
            path.with_name(path.name + ".packets.txt").write_text(table(path))
    return 0


if __name__ == "__main__":
    sys.exit(main())
