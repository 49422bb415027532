#!/usr/bin/env python3
"""Writes ffprobe's decode times of a file's first video stream for kelo-stress.

usage: video_samples.py MEDIA OUT

OUT gets "time_base NUM DEN", then one "DTS DURATION" line per packet in decode
order, in the stream's time base. Edit lists are ignored, as the filter ignores
them, so the first packet is at 0 and the times are the track's own.
"""
import json
import os
import subprocess
import sys


def main():
    media, out = sys.argv[1], sys.argv[2]
    probe = json.loads(subprocess.run(
        ["ffprobe", "-v", "error", "-ignore_editlist", "1", "-select_streams", "v:0", "-show_entries",
         "stream=time_base:packet=dts,duration", "-of", "json", media],
        capture_output=True, text=True, check=True).stdout)
    num, den = probe["streams"][0]["time_base"].split("/")
    packets = sorted((int(p["dts"]), int(p["duration"])) for p in probe["packets"])
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    with open(out, "w") as f:
        f.write(f"time_base {num} {den}\n")
        for dts, duration in packets:
            f.write(f"{dts} {duration}\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
