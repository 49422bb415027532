#!/usr/bin/env python3
"""Makes small H.264, HEVC, MPEG-4 Visual and AAC files with ffmpeg and writes
OUTDIR/reference.tsv: per file the avcC or hvcC record or the ES descriptor
that ffmpeg stored in its sample entry, beside ffprobe's view of the stream.
bitstream_tests parse the stored bytes and must agree with ffprobe.

  avc  NAME AVCC_HEX WIDTH HEIGHT SAR_NUM SAR_DEN DAR_NUM DAR_DEN
  hevc NAME HVCC_HEX WIDTH HEIGHT SAR_NUM SAR_DEN BIT_DEPTH
  m4v  NAME ES_DESCRIPTOR_HEX WIDTH HEIGHT
  aac  NAME ES_DESCRIPTOR_HEX SAMPLE_RATE CHANNELS

A stream without a sample aspect ratio is reported by ffprobe as 0:1 or not
at all; the line then carries 1:1, square samples, and the picture size as
the display aspect ratio.

usage: make_reference.py OUTDIR"""
import json
import os
import struct
import subprocess
import sys

X264 = ["-c:v", "libx264", "-preset", "veryfast"]
X265 = ["-c:v", "libx265", "-preset", "ultrafast", "-x265-params", "log-level=error"]
MPEG4 = ["-c:v", "mpeg4"]
YUV420 = ["-pix_fmt", "yuv420p"]

# (file, encoder and its options); video is two frames of testsrc at the
# size the name ends with, audio a short sine at the rate it ends with.
FILES = [
    ("baseline_320x240.mp4", X264 + ["-profile:v", "baseline"] + YUV420),
    ("main_1280x720.mp4", X264 + ["-profile:v", "main"] + YUV420),
    ("high_sar43_1440x1080.mp4", X264 + ["-vf", "setsar=4/3"] + YUV420),
    ("high_sar1011_720x480.mp4", X264 + ["-vf", "setsar=10/11"] + YUV420),
    ("high_sar4033_720x480.mp4", X264 + ["-vf", "setsar=40/33"] + YUV420),
    ("high_sar57_720x576.mp4", X264 + ["-vf", "setsar=5/7"] + YUV420),
    ("high_vui_hrd_640x360.mp4", X264 + YUV420 + ["-b:v", "400k", "-maxrate", "400k", "-bufsize", "800k",
     "-x264-params", "nal-hrd=cbr:colorprim=bt709:transfer=bt709:colormatrix=bt709:fullrange=on:chromaloc=1:"
     "overscan=show:videoformat=pal"]),
    ("high_cqm_352x288.mp4", X264 + YUV420 + ["-x264-params", "cqm=jvt"]),
    ("high_interlaced_720x576.mp4", X264 + YUV420 + ["-x264-params", "interlaced=1", "-vf", "setsar=16/15"]),
    ("high10_320x240.mp4", X264 + ["-pix_fmt", "yuv420p10le"]),
    ("high422_320x240.mp4", X264 + ["-pix_fmt", "yuv422p"]),
    ("crop_322x242.mp4", X264 + YUV420),
    ("hevc_main_320x240.mp4", X265 + YUV420),
    ("hevc_main10_sar43_1440x1080.mp4", X265 + ["-pix_fmt", "yuv420p10le", "-vf", "setsar=4/3"]),
    ("hevc_crop_sar1011_322x242.mp4", X265 + YUV420 + ["-vf", "setsar=10/11"]),
    ("hevc_422_10_sar4033_720x480.mp4", X265 + ["-pix_fmt", "yuv422p10le", "-vf", "setsar=40/33"]),
    ("hevc_scaling_352x288.mp4", X265 + YUV420 + ["-x265-params", "log-level=error:scaling-list=default"]),
    ("m4v_352x288.mp4", MPEG4),
    # A loaded 64-entry intra matrix (no terminating zero) and a 16:15 pixel aspect ratio.
    ("m4v_matrix_720x576.mp4", MPEG4 + ["-vf", "setsar=16/15", "-mpeg_quant", "1",
                                        "-intra_matrix", ",".join(str(v) for v in range(8, 72))]),
    ("m4v_qpel_partitioned_640x480.mp4", MPEG4 + ["-flags:v", "+qpel", "-data_partitioning", "1"]),
    ("aac_mono_22050.mp4", ["-c:a", "aac", "-ac", "1"]),
    ("aac_stereo_44100.mp4", ["-c:a", "aac", "-ac", "2"]),
    ("aac_51_48000.mp4", ["-c:a", "aac", "-ac", "6"]),
    ("aac_stereo_pce_32000.mp4", ["-c:a", "aac", "-ac", "2", "-aac_pce", "1"]),
    ("aac_51_pce_48000.mp4", ["-c:a", "aac", "-ac", "6", "-aac_pce", "1"]),
]
EXACT = ["-threads", "1", "-fflags", "+bitexact", "-flags:v", "+bitexact", "-flags:a", "+bitexact"]
CONTAINERS = {b"moov", b"trak", b"mdia", b"minf", b"stbl"}


def make(out, name, options):
    last = name[:-len(".mp4")].rsplit("_", 1)[1]
    source = (f"sine=frequency=440:sample_rate={last}:duration=0.2" if name.startswith("aac")
              else f"testsrc=size={last}:rate=25:duration=0.08")
    temporary = os.path.join(out, ".tmp." + name)
    subprocess.run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i", source]
                   + options + EXACT + ["-f", "mp4", temporary], check=True)
    os.replace(temporary, os.path.join(out, name))


def boxes(data, start, end):
    pos = start
    while pos + 8 <= end:
        size, kind = struct.unpack(">I4s", data[pos:pos + 8])
        if size < 8 or pos + size > end:
            return
        yield kind, pos + 8, pos + size
        pos += size


def find_entry_box(data, wanted, start=0, end=None):
    """The body of the first `wanted` box inside moov/.../stsd's first entry."""
    for kind, body, stop in boxes(data, start, len(data) if end is None else end):
        if kind in CONTAINERS:
            found = find_entry_box(data, wanted, body, stop)
            if found is not None:
                return found
        elif kind == b"stsd":
            # version/flags, entry count, then the first sample entry, whose
            # visual fields take 78 bytes and audio fields 28.
            entry = body + 8
            size = struct.unpack(">I", data[entry:entry + 4])[0]
            for skip in (78, 28):
                for k, b, s in boxes(data, entry + 8 + skip, entry + size):
                    if k == wanted:
                        return data[b:s]
    return None


def ratio(stream, key, default):
    num, den = (int(v) for v in stream.get(key, "0:1").split(":"))
    return default if num == 0 or den == 0 else (num, den)


def line(path):
    name, data = os.path.basename(path), open(path, "rb").read()
    stream = json.loads(subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-of", "json", path], check=True,
                                       capture_output=True, text=True).stdout)["streams"][0]
    size = [stream.get("width"), stream.get("height")]
    codec = stream["codec_name"]
    if codec == "h264":
        sar, dar = ratio(stream, "sample_aspect_ratio", (1, 1)), ratio(stream, "display_aspect_ratio", size)
        return ["avc", name, find_entry_box(data, b"avcC").hex()] + size + list(sar) + list(dar)
    if codec == "hevc":
        depth = 10 if "10" in stream["pix_fmt"] else 8
        return ["hevc", name, find_entry_box(data, b"hvcC").hex()] + size + list(ratio(stream, "sample_aspect_ratio",
                                                                                         (1, 1))) + [depth]
    # version and flags precede the ES_Descriptor.
    descriptor = find_entry_box(data, b"esds")[4:].hex()
    if codec == "mpeg4":
        return ["m4v", name, descriptor] + size
    return ["aac", name, descriptor, stream["sample_rate"], stream["channels"]]


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__.splitlines()[-1])
    out = sys.argv[1]
    reference = os.path.join(out, "reference.tsv")
    if os.path.exists(reference) and os.path.getmtime(reference) > os.path.getmtime(__file__):
        return
    os.makedirs(out, exist_ok=True)
    for name, options in FILES:
        make(out, name, options)
    with open(reference + ".tmp", "w") as tsv:
        for name, _ in sorted(FILES):
            print(*line(os.path.join(out, name)), file=tsv)
    os.replace(reference + ".tmp", reference)


if __name__ == "__main__":
    main()
