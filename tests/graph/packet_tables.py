#!/usr/bin/env python3
"""Turns ffprobe's packet lists into small text tables the graph tests read.

usage: packet_tables.py DIR...

For every NAME.packets.json in each DIR, writes NAME.packets.txt: a first line
"rate channels bits time_base_num time_base_den" of the first audio stream,
then one line "pts duration size" per packet of that stream, in file order.
"""
import json
import pathlib
import sys


def table(packets_json):
    data = json.loads(packets_json.read_text())
    stream = next(s for s in data["streams"] if s["codec_type"] == "audio")
    num, den = stream["time_base"].split("/")
    bits = stream.get("bits_per_sample") or stream.get("bits_per_raw_sample") or 0
    lines = [f'{stream["sample_rate"]} {stream["channels"]} {bits} {num} {den}']
    for p in data["packets"]:
        if p["stream_index"] == stream["index"]:
            lines.append(f'{p["pts"]} {p["duration"]} {p["size"]}')
    return "\n".join(lines) + "\n"


def main():
    for folder in sys.argv[1:]:
        for path in sorted(pathlib.Path(folder).glob("*.packets.json")):
            path.with_suffix(".txt").write_text(table(path))
    return 0


if __name__ == "__main__":
    sys.exit(main())
