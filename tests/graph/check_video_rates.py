#!/usr/bin/env python3
"""The video pins' format blocks announce the stream's frame rate, bit rate and interlacing.

usage: check_video_rates.py MODULE.ax WORK_DIR KELO_PLAY_EXE [EMULATOR...]

WORK_DIR gets 2-second files made with ffmpeg at 23.976, 25, 29.97, 30, 50 and 60 pictures a
second, in H.264 and in MPEG-4 Visual, each rate progressive in one and fragmented
(frag_keyframe+empty_moov+default_base_moof) in the other, HEVC at 23.976 and fragmented at 50, and a field-coded H.264 file (libx264
interlaced, +ildct), and one whose fragments begin 10 hours in. kelo-play reports each video pin's type with --json, the format block in
hexadecimal; for each file:
- AvgTimePerFrame is within one 100-ns unit of 10^7 / ffprobe's frame rate;
- dwBitRate is within 2 % of the bytes of ffprobe's packets over their decode span (ffprobe's own
  stream bit rate divides by the time from 0, which a late timeline makes 10 hours);
- dwInterlaceFlags says interlaced exactly when ffprobe's field order is not progressive;
- kelo-play's words for the type give the frame rate to three decimals.
"""
import os
import struct
import sys
from fractions import Fraction

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from kelo_play import MEDIATYPE_VIDEO, check, ffprobe, json_lines, kelo_play, player_arguments, run, summary  # noqa: E402

FRAGMENTED = ["-movflags", "frag_keyframe+empty_moov+default_base_moof"]
CODECS = {"h264": ["-c:v", "libx264", "-preset", "fast", "-pix_fmt", "yuv420p"], "mpeg4": ["-c:v", "mpeg4", "-q:v", "4"],
          "hevc": ["-c:v", "libx265", "-preset", "fast", "-pix_fmt", "yuv420p", "-x265-params", "log-level=error"]}
INTERLACED = ["-c:v", "libx264", "-preset", "fast", "-pix_fmt", "yuv420p", "-flags", "+ildct", "-x264-params",
              "interlaced=1:tff=1"]
RATES = ["24000/1001", "25", "30000/1001", "30", "50", "60"]
# (file name, frame rate, ffmpeg options)
ROWS = [(f"{codec}_{rate.replace('/', '_')}{'_frag' if fragmented else ''}.mp4", rate,
         CODECS[codec] + (FRAGMENTED if fragmented else []))
        for n, rate in enumerate(RATES) for codec, fragmented in (("h264", n % 2 == 1), ("mpeg4", n % 2 == 0))]
ROWS.append(("hevc_24000_1001.mp4", "24000/1001", CODECS["hevc"]))
ROWS.append(("hevc_50_frag.mp4", "50", CODECS["hevc"] + FRAGMENTED))
ROWS.append(("h264_25_interlaced.mp4", "25", INTERLACED))
# A live capture's timeline: fragments whose first tfdt lies 10 hours in.
ROWS.append(("h264_25_late.mp4", "25", CODECS["h264"] + ["-output_ts_offset", "36000", "-avoid_negative_ts", "disabled",
                                                         "-movflags", "frag_keyframe+empty_moov+frag_discont"]))
AMINTERLACE_IS_INTERLACED = 0x1


def make(path, rate, options):
    run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", f"testsrc=size=320x240:rate={rate}:duration=2",
         *options, "-threads", "1", "-fflags", "+bitexact", path])


def ffprobe_video(path):
    """ffprobe's frame rate and field order of the stream, and its packets' bits over their decode span."""
    info = ffprobe(path, "v", "stream=r_frame_rate,field_order:packet=size,dts_time,duration_time")
    stream, packets = info["streams"][0], info["packets"]
    times = [float(p["dts_time"]) for p in packets]
    span = max(times) + float(packets[-1]["duration_time"]) - min(times)
    bit_rate = sum(int(p["size"]) for p in packets) * 8 / span
    return Fraction(stream["r_frame_rate"]), bit_rate, stream.get("field_order", "unknown")


def video_format(player, path):
    """The video pin's type words, its format block's bit rate, frame time and interlace flags."""
    code, out, err = kelo_play(player, ["--json", path])
    if not check(code == 0, f"{path}: exit {code}; {err}"):
        return None
    video = [p for p in json_lines(out) if p["kind"] == "pin" and p["major"] == MEDIATYPE_VIDEO]
    if not check(len(video) == 1, f"{path}: {len(video)} video pins"):
        return None
    block = bytes.fromhex(video[0]["format"])
    # VIDEOINFOHEADER and VIDEOINFOHEADER2 alike: two RECTs, dwBitRate, dwBitErrorRate, AvgTimePerFrame;
    # VIDEOINFOHEADER2 then dwInterlaceFlags.
    bit_rate, _, frame_time = struct.unpack_from("<IIq", block, 32)
    # VIDEOINFOHEADER2, alone or at the head of an MPEG2VIDEOINFO.
    two = video[0]["format_type"] in ("{F72A76A0-EB0A-11D0-ACE4-0000C0CC16BA}", "{E06D80E3-DB46-11CF-B4D1-00805F6CBBEA}")
    interlace = struct.unpack_from("<I", block, 48)[0] if two else 0
    return video[0]["type"], bit_rate, frame_time, interlace


def main():
    _, work, player = player_arguments(__doc__, 0)
    for name, rate, options in ROWS:
        path = os.path.join(work, name)
        make(path, rate, options)
        fps, bit_rate, field_order = ffprobe_video(path)
        got = video_format(player, path)
        if not got:
            continue
        words, got_bit_rate, frame_time, interlace = got
        check(abs(frame_time - 10**7 / fps) <= 1, f"{name}: AvgTimePerFrame {frame_time}, want 10^7 / {fps}")
        check(abs(got_bit_rate - bit_rate) <= 0.02 * bit_rate, f"{name}: dwBitRate {got_bit_rate}, ffprobe {bit_rate}")
        interlaced = field_order not in ("progressive", "unknown")
        check(bool(interlace & AMINTERLACE_IS_INTERLACED) == interlaced,
              f"{name}: dwInterlaceFlags {interlace:#x}, ffprobe's field order {field_order}")
        check(f"{float(fps):.3f} fps" in words, f"{name}: kelo-play says '{words}', want {float(fps):.3f} fps")
    return summary()


if __name__ == "__main__":
    sys.exit(main())
