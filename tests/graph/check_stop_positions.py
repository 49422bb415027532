#!/usr/bin/env python3
"""Stop positions end every pin whole, and asking the pins for their types while they run changes nothing.

usage: check_stop_positions.py MODULE.ax WORK_DIR KELO_PLAY_EXE [EMULATOR...]

WORK_DIR gets three video + AAC files made with ffmpeg, 3 s at 25 fps with B-frames in every
mini-GOP (no adaptive B-frame decisions): H.264 with two B-frames between references, H.264
with three, the middle one a reference (B-pyramid), and HEVC with a B-pyramid. kelo-play plays them with stop positions: on a
picture's time, between two pictures, inside a mini-GOP (pictures before the stop refer to one
presented after it), after a start, and set while the graph runs. For each:
- video: the .h264 or .hevc dump decodes (ffmpeg framemd5) to exactly the source's pictures presented
  from the key frame the start begins with up to the stop, in order; any picture after them
  is one the source presents at or after the stop (a reference the last ones need);
- audio, from the start of the file: the AAC pin delivers exactly the source's access units
  that begin before the stop (ffprobe's packets, on the timeline ffmpeg's edit-list handling gives).
Then a stop at 2 s with 200 rounds of EnumMediaTypes, ConnectionMediaType and QueryAccept on
every pin while the graph runs delivers the same samples, with the same stamps, as without.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from kelo_play import (check, ffprobe, fnv1a, pictures, play, player_arguments, run, samples,  # noqa: E402
                       source_packets, summary)

# name: encoder and its options (a key frame every 12 pictures)
SOURCES = {
    "two_b.mp4": ("libx264", "-x264-params", "bframes=2:b-adapt=0:b-pyramid=none:keyint=12:min-keyint=12:scenecut=0"),
    "pyramid.mp4": ("libx264", "-x264-params", "bframes=3:b-adapt=0:b-pyramid=normal:keyint=12:min-keyint=12:scenecut=0"),
    "hevc_b.mp4": ("libx265", "-x265-params", "bframes=3:b-adapt=0:b-pyramid=1:keyint=12:min-keyint=12:scenecut=0:log-level=error"),
}
ROWS = [
    # (label, file, kelo-play options, start, stop) in seconds; pictures every 0.04 s
    ("stop on a picture", "two_b.mp4", ["--stop", "1.52"], 0, 1.52),
    ("stop between pictures", "two_b.mp4", ["--stop", "2.02"], 0, 2.02),
    ("stop inside a mini-GOP", "two_b.mp4", ["--stop", "0.2"], 0, 0.2),
    ("start then stop", "two_b.mp4", ["--start", "1", "--stop", "2.3"], 1, 2.3),
    ("stop set while running", "two_b.mp4", ["--realtime", "--stop-at", "0.5:2.3"], 0, 2.3),
    ("pyramid, stop after a reference B", "pyramid.mp4", ["--stop", "0.1"], 0, 0.1),
    ("pyramid, stop before a reference B", "pyramid.mp4", ["--stop", "1.01"], 0, 1.01),
    ("pyramid, stop set while running", "pyramid.mp4", ["--realtime", "--stop-at", "0.3:1.85"], 0, 1.85),
    ("HEVC, stop inside a mini-GOP", "hevc_b.mp4", ["--stop", "0.2"], 0, 0.2),
    ("HEVC, start then stop", "hevc_b.mp4", ["--start", "1", "--stop", "2.3"], 1, 2.3),
    ("HEVC, stop set while running", "hevc_b.mp4", ["--realtime", "--stop-at", "0.3:1.85"], 0, 1.85),
    ("stop at 2", "two_b.mp4", ["--stop", "2"], 0, 2),
    ("stop at 2 with type rounds", "two_b.mp4", ["--realtime", "--stop", "2", "--type-rounds", "200"], 0, 2),
]


def make_sources(work):
    for name, (encoder, option, params) in SOURCES.items():
        run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=3",
             "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=3", "-c:v", encoder, "-preset",
             "fast", option, params, "-pix_fmt", "yuv420p", "-c:a", "aac", "-b:a", "64k", "-threads", "1",
             "-fflags", "+bitexact", os.path.join(work, name)])


def first_key(path, start):
    """Where the pin's data begins for `start`: the presentation time of the key frame at or before the
    sample holding the instant before the start, by decode time (which ignores the edit list)."""
    def keys(*options):
        packets = ffprobe(path, "v", "packet=dts_time,pts_time,flags", *options)["packets"]
        return [(float(p["dts_time"]), float(p["pts_time"])) for p in packets if "K" in p["flags"]]
    raw, edited = keys("-ignore_editlist", "1"), keys()
    n = max([0] + [k for k, (dts, _) in enumerate(raw) if dts < start - 1e-9])
    return edited[n][1]


def stamped(lines, pin):
    return [(e["hash"], e["start"], e["stop"]) for e in samples(lines, pin)]


def check_row(player, work, media, row):
    label, name, args, start, stop = row
    path = os.path.join(media, name)
    lines, files = play(player, work, label, args + [path])
    dump = files.get(".h264", files.get(".hevc"))
    if not lines or not check(dump, f"{label}: no video dump"):
        return lines
    check(not any(e["kind"] == "begin_flush" for e in lines), f"{label}: a flush: the stop restarted a pin")
    shown = pictures(path)
    key = first_key(path, start)
    expected = [h for t, h in shown if key - 1e-9 <= t < stop - 1e-9]
    after = {h for t, h in shown if t >= stop - 1e-9}
    got = [h for _, h in pictures(dump)]
    check(got[:len(expected)] == expected and set(got[len(expected):]) <= after,
          f"{label}: the dump decodes to {len(got)} pictures; want the source's {len(expected)} up to the stop, "
          f"then none but pictures after it")
    if start == 0:
        times = [float(p["pts_time"]) for p in ffprobe(path, "a", "packet=pts_time")["packets"]]
        want = [fnv1a(data) for data, _, _ in source_packets(path, "a")][:sum(1 for t in times if t < stop - 1e-9)]
        check([h for h, _, _ in stamped(lines, "MPEG4 Audio")] == want,
              f"{label}: audio is not the source's {len(want)} access units that begin before the stop")
    return lines


def check_type_rounds(plain, asked):
    """The play with 200 rounds of type questions against the one without."""
    if not plain or not asked:
        return
    rounds = asked[-1].get("type_rounds")
    check(rounds == 200, f"type rounds: {rounds} of 200 answered while running")
    for pin in ("AVC", "MPEG4 Audio"):
        check(stamped(asked, pin) == stamped(plain, pin),
              f"type rounds: the {pin} pin delivered {len(stamped(asked, pin))} samples, "
              f"{len(stamped(plain, pin))} without them, or other stamps")


def main():
    _, work, player = player_arguments(__doc__, 0)
    make_sources(work)
    plays = {row[0]: check_row(player, work, work, row) for row in ROWS}
    check_type_rounds(plays["stop at 2"], plays["stop at 2 with type rounds"])
    return summary()

if __name__ == "__main__":
    sys.exit(main())
