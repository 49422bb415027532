#!/usr/bin/env python3
"""The PCM pin plays every linear PCM kind as WAVE's PCM, byte for byte ffmpeg's decode.

usage: check_pcm_kinds.py PCM_MEDIA_DIR MODULE.ax WORK_DIR KELO_PLAY_EXE [EMULATOR...]

kelo-play plays each kind_*.mov of PCM_MEDIA_DIR (tests/media/make_pcm_media.sh:
'sowt', 'raw ', 'twos', 'in24', 'in32', 'fl32', 'fl64' of both byte orders,
'lpcm' with a version 2 sound description, 'NONE'; mono, stereo, 6 channels)
through the module with --json and --dump, whole and from a start at 0.5 s:
- the .wav's format chunk is what WAVE has for the kind: tag 1 for integer
  mono and stereo of 8 and 16 bits, tag 3 for float mono and stereo, else
  WAVE_FORMAT_EXTENSIBLE with the PCM or IEEE float sub-format, the bits as
  valid bits and the channel mask of ffprobe's channel layout; channels, rate,
  block align and bytes per second as ffprobe reads the file;
- its data is ffmpeg's decode of the file into that form (little-endian,
  8-bit unsigned), from the start: the frame holding the instant before it;
- every buffer holds 1024 frames but the last, and the first is stamped at
  that frame's time from the segment start.
"""
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from kelo_play import check, ffprobe, pcm, play, player_arguments, samples, summary  # noqa: E402

FRAMES_PER_BUFFER = 1024
# ffmpeg's raw output format for each stored format: WAVE's form of it.
OUTPUT = {"u8": "u8", "s8": "u8", "s16le": "s16le", "s16be": "s16le", "s24le": "s24le", "s24be": "s24le",
          "s32le": "s32le", "s32be": "s32le", "f32le": "f32le", "f32be": "f32le", "f64le": "f64le", "f64be": "f64le"}
# WAVE speaker masks of ffmpeg's layout names.
MASKS = {"mono": 0x4, "stereo": 0x3, "5.1": 0x3F, "5.1(side)": 0x60F}
KSDATAFORMAT_PCM = bytes.fromhex("0100000000001000800000aa00389b71")
KSDATAFORMAT_IEEE_FLOAT = bytes.fromhex("0300000000001000800000aa00389b71")
CASES = [("whole", [], 0.0), ("start 0.5 s", ["--start", "0.5"], 0.5)]


def wave_chunks(data):
    chunks, at = {}, 12
    while at + 8 <= len(data):
        kind, size = struct.unpack("<4sI", data[at:at + 8])
        chunks[kind] = data[at + 8:at + 8 + size]
        at += 8 + size + (size & 1)
    return chunks


def check_format(label, fmt, stream, out_format):
    channels, rate = int(stream["channels"]), int(stream["sample_rate"])
    is_float = out_format.startswith("f")
    bits = 8 if out_format == "u8" else int(out_format[1:3])
    extensible = channels > 2 or (not is_float and bits > 16)
    tag, got_channels, got_rate, per_second, align, got_bits = struct.unpack("<HHIIHH", fmt[:16])
    want_tag = 0xFFFE if extensible else 3 if is_float else 1
    check((tag, got_channels, got_rate, got_bits, align, per_second) ==
          (want_tag, channels, rate, bits, channels * bits // 8, channels * bits // 8 * rate),
          f"{label}: format {tag:#x}, {got_channels} ch, {got_rate} Hz, {got_bits} bits, align {align}, "
          f"{per_second} B/s; want {want_tag:#x}, {channels}, {rate}, {bits}")
    if extensible and check(len(fmt) == 40, f"{label}: extensible format of {len(fmt)} bytes"):
        extra, valid, mask = struct.unpack("<HHI", fmt[16:24])
        sub = fmt[24:40]
        want_mask = MASKS.get(stream.get("channel_layout"), 0)
        check((extra, valid, mask, sub) == (22, bits, want_mask, KSDATAFORMAT_IEEE_FLOAT if is_float else
                                              KSDATAFORMAT_PCM),
              f"{label}: extension {extra}, valid bits {valid}, mask {mask:#x}, sub-format {sub.hex()}; "
              f"want mask {want_mask:#x} for {stream.get('channel_layout')}")


def check_kind(path, work, player):
    name = os.path.basename(path)
    stored = name[:-4].split("_")[2]
    out_format = OUTPUT[stored]
    stream = ffprobe(path, "a", "stream=channels,sample_rate,channel_layout")["streams"][0]
    reference = pcm(path, fmt=out_format)
    rate = int(stream["sample_rate"])
    frame_bytes = int(stream["channels"]) * (1 if out_format == "u8" else int(out_format[1:3]) // 8)
    for label, args, start in CASES:
        label = f"{name} {label}"
        lines, files = play(player, work, label, args + [path])
        if lines is None:
            continue
        pins = [e["pin"] for e in lines if e["kind"] == "pin"]
        if not check(pins == ["LPCM"] and ".wav" in files, f"{label}: {pins}, {sorted(files)}"):
            continue
        with open(files[".wav"], "rb") as f:
            chunks = wave_chunks(f.read())
        check_format(label, chunks.get(b"fmt ", b"\0" * 16), stream, out_format)
        # The first frame is the one holding the instant before the start.
        first = max(round(start * rate) - 1, 0)
        want = reference[first * frame_bytes:]
        got = chunks.get(b"data", b"")
        check(got == want, f"{label}: {len(got)} bytes of PCM, want ffmpeg's {len(want)} from frame {first}"
                           f"{'' if len(got) != len(want) else ', other bytes'}")
        delivered = samples(lines, "LPCM")
        lengths = [e["length"] for e in delivered]
        whole = FRAMES_PER_BUFFER * frame_bytes
        check(delivered and all(n == whole for n in lengths[:-1]) and 0 < lengths[-1] <= whole,
              f"{label}: buffers of {sorted(set(lengths))} bytes, want {whole} but the last")
        if delivered:
            # Stamped from the segment start, in 100 ns rounded down.
            want_start = (first - round(start * rate)) * 10**7 // rate
            check(delivered[0]["start"] == want_start, f"{label}: first buffer at {delivered[0]['start']}, "
                                                     f"want {want_start}")


def main():
    (media,), work, player = player_arguments(__doc__, 1)
    kinds = sorted(f for f in os.listdir(media) if f.startswith("kind_") and f.endswith(".mov"))
    check(len(kinds) >= 24, f"{len(kinds)} kind_*.mov files in {media}")
    for name in kinds:
        check_kind(os.path.join(media, name), work, player)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
