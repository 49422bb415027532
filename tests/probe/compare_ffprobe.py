#!/usr/bin/env python3
"""Compares what bxfprobe reports of each corpus file's tracks with ffprobe.

usage: compare_ffprobe.py CORPUS_DIR PROBE [EMULATOR...]

For every track and its first sample entry, both must agree on the codec
four-character code (the original format for encrypted entries), the width
and height, the channels and sample rate, the time scale, and the decoder
configuration: ffprobe's extradata is the avcC or hvcC record, or the
DecoderSpecificInfo of the esds.
"""
import json
import os
import subprocess
import sys

failures = []
checks = 0


def check(cond, what):
    global checks
    checks += 1
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def extradata_bytes(dump):
    """ffprobe -show_data prints 'OFFSET: hex groups  ascii' lines."""
    out = bytearray()
    for line in dump.splitlines():
        if ": " not in line:
            continue
        hex_part = line.split(": ", 1)[1][:40]
        out += bytes.fromhex(hex_part.replace(" ", ""))
    return bytes(out)


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


def compare(name, track, stream):
    where = f"{name} track {track['track']}"
    entry = track["sample_entries"][0]
    fourcc = entry["entry_type"]
    for p in entry.get("protection", []):
        fourcc = p.get("original_format", fourcc)
    check(fourcc == stream["codec_tag_string"], f"{where}: fourcc {fourcc} vs {stream['codec_tag_string']}")
    check(stream["time_base"] == f"1/{track['time_scale']}", f"{where}: time scale vs {stream['time_base']}")
    if stream["codec_type"] == "video":
        check((entry["width"], entry["height"]) == (stream["width"], stream["height"]), f"{where}: size")
    if stream["codec_type"] == "audio":
        check(entry["channels"] == stream["channels"] or fourcc == "samr",  # AMR entries leave it to damr
              f"{where}: channels {entry['channels']} vs {stream['channels']}")
        check(entry["sample_rate"] == int(stream["sample_rate"]), f"{where}: sample rate")
    extradata = extradata_bytes(stream.get("extradata", ""))
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


def main():
    corpus, probe = sys.argv[1], sys.argv[3:] + [sys.argv[2]]
    names = sorted(n for n in os.listdir(corpus) if n.endswith((".mp4", ".3gp", ".mov")))
    for name in names:
        path = os.path.join(corpus, name)
        result = subprocess.run(probe + ["--json", path], capture_output=True, text=True, timeout=120)
        check(result.returncode == 0, f"{name}: bxfprobe exit {result.returncode} {result.stderr.strip()}")
        if result.returncode != 0:
            continue
        tracks = json.loads(result.stdout)["tracks"]
        streams = json.loads(subprocess.run(
            ["ffprobe", "-v", "quiet", "-show_streams", "-show_data", "-of", "json", path],
            capture_output=True, text=True, check=True).stdout)["streams"]
        check(len(tracks) == len(streams), f"{name}: {len(tracks)} tracks vs {len(streams)} streams")
        for track, stream in zip(tracks, streams):
            compare(name, track, stream)
    print(f"{checks - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
