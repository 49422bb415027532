#!/usr/bin/env python3
"""Files whose timeline is not the one a plain file has play from their first sample to their last.

usage: check_timelines.py CORPUS_DIR MODULE.ax WORK_DIR KELO_PLAY_EXE [EMULATOR...]

kelo-play plays, with --json and --dump, the corpus' fragmented files whose timelines real
recordings have: frag_late.mp4 (fragments whose first tfdt lies 10 hours in), frag_dash_stream0.mp4
and frag_dash_stream1.mp4 (a DASH init segment and its media segments joined, video and audio),
and frag_mfra.mp4 (fragments from 0, as a reference). For each, whole and from the middle:
- every sample of every track arrives, in order: the video dump decodes (ffmpeg framemd5) to the
  source's pictures from the key frame the start begins with, the audio pin's samples are the
  source's packets from the one holding the instant before the start (ffprobe, edit list ignored);
- played whole, a sample covers stream time 0, and the pins' earliest stamps lie apart as the
  tracks' earliest presentation times in ffprobe's packets do (edit lists applied), within 1 ms.
Then the corpus' h264_aac.mp4 and faststart.mp4 (ffmpeg's H.264 with B-frames and AAC, each track
with an edit list: the video's presentation start, the audio's encoder priming): the earliest
picture and the first audio sample are stamped within 1 ms of the presentation times ffprobe gives
with its own edit-list handling (the picture at 0, the priming before it).
"""
import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
from check_decoded import fnv1a, frame_hashes, source_packets  # noqa: E402
from check_list import check, player_arguments, run, summary  # noqa: E402

FILES = ["frag_late.mp4", "frag_dash_stream0.mp4", "frag_dash_stream1.mp4", "frag_mfra.mp4"]
VIDEO, AUDIO = "AVC", "MPEG4 Audio"


def packets(path, kind):
    """The stream's packets in decode order: (decode time, presentation time, duration, key) in seconds."""
    out = run(["ffprobe", "-v", "error", "-ignore_editlist", "1", "-select_streams", kind, "-show_entries",
               "packet=dts_time,pts_time,duration_time,flags", "-of", "csv=p=0", path], text=True)
    rows = [line.split(",") for line in out.splitlines() if line]
    return [(float(d), float(p), float(t) if t != "N/A" else 0.0, "K" in f) for p, d, t, f in rows]


def play(player, work, label, args):
    dump = os.path.join(work, label)
    done = subprocess.run(player + ["--json", "--dump", dump] + args, capture_output=True, timeout=300)
    if not check(done.returncode == 0, f"{label}: exit {done.returncode}; {done.stderr.decode(errors='replace')}"):
        return None, {}
    lines = [json.loads(line) for line in done.stdout.decode().splitlines() if line.startswith("{")]
    return lines, {f.rsplit(".", 1)[-1]: os.path.join(dump, f) for f in os.listdir(dump)}


def delivered(lines, pin):
    return [e for e in lines if e["kind"] == "sample" and e["pin"].startswith(pin)]


def check_file(player, work, path):
    name = os.path.basename(path)
    video, audio = packets(path, "v"), packets(path, "a")
    origin = min(p[0][0] for p in (video, audio) if p)
    end = max(d + t for d, _, t, _ in video + audio) - origin
    audio_origin = origin
    for label, start in (("whole", 0.0), ("middle", round(end / 2, 2))):
        label = f"{name} {label}"
        lines, dumps = play(player, work, label.replace(" ", "_"), ["--start", str(start), path])
        if lines is None:
            continue
        if video:
            # The key frame at or before the sample holding the instant before the start, by decode time.
            keys = [k for k, (d, _, _, key) in enumerate(video) if key and (k == 0 or d - origin < start - 1e-9)]
            key_pts = video[keys[-1]][1]
            frames = frame_hashes(path, "-ignore_editlist", "1")
            shown = sum(1 for _, p, _, _ in video if p < key_pts - 1e-9)
            got = frame_hashes(dumps["h264"]) if "h264" in dumps else []
            check(got == frames[shown:], f"{label}: the video dump decodes to {len(got)} pictures, "
                                         f"want the source's {len(frames) - shown} from the key frame at {key_pts}")
        if audio:
            got = [e["hash"] for e in delivered(lines, AUDIO)]
            if start == 0 and got:
                # Where the whole play put the first packet: its decode time less its stamp (the edit's
                # shift and the timeline's origin), checked above against ffprobe.
                audio_origin = audio[0][0] - delivered(lines, AUDIO)[0]["start"] / 1e7
            first = max([0] + [k for k, (d, _, _, _) in enumerate(audio) if d - audio_origin < start - 1e-9])
            want = [fnv1a(data) for data, _, _ in source_packets(path, "a")][first:]
            check(got == want, f"{label}: {len(got)} audio samples, want the source's {len(want)} from packet {first}")
        if start == 0:
            check_first_stamps(label, path, lines)


def earliest_pts(path, kind):
    """The stream's earliest presentation time in ffprobe's packets (edit lists applied, as ffmpeg plays them)."""
    out = run(["ffprobe", "-v", "error", "-select_streams", kind, "-show_entries", "packet=pts_time", "-of", "csv=p=0",
               path], text=True)
    times = [float(line.split(",")[0]) for line in out.splitlines() if line]
    return min(times) if times else None


def check_first_stamps(label, path, lines):
    """A sample covers stream time 0, and the pins' earliest stamps lie apart as ffprobe's earliest times do."""
    stamps = [e for pin in (VIDEO, AUDIO) for e in delivered(lines, pin)]
    check(any(e["start"] <= 0 < e["stop"] for e in stamps), f"{label}: no sample covers stream time 0")
    earliest = {pin: (min(e["start"] for e in delivered(lines, pin)) / 1e7, earliest_pts(path, kind))
                for pin, kind in ((VIDEO, "v"), (AUDIO, "a")) if delivered(lines, pin)}
    if len(earliest) == 2:
        (video_got, video_want), (audio_got, audio_want) = earliest[VIDEO], earliest[AUDIO]
        check(abs((audio_got - video_got) - (audio_want - video_want)) <= 0.001,
              f"{label}: audio's earliest stamp is {audio_got - video_got:.6f} s after video's, "
              f"ffprobe's {audio_want - video_want:.6f} s")


def check_edits(player, work, path):
    name = os.path.basename(path)
    lines, _ = play(player, work, name + "_edits", [path])
    if lines is None:
        return
    for pin, kind in ((VIDEO, "v"), (AUDIO, "a")):
        want = earliest_pts(path, kind)
        got = min(e["start"] for e in delivered(lines, pin)) / 1e7
        check(abs(got - want) <= 0.001, f"{name}: the {pin} pin's earliest stamp is {got} s, ffmpeg's {want} s")


def main():
    parsed = player_arguments(__doc__, 1)
    if not parsed:
        return 2
    (corpus,), work, player = parsed
    for name in FILES:
        check_file(player, work, os.path.join(corpus, name))
    for name in ("h264_aac.mp4", "faststart.mp4"):
        check_edits(player, work, os.path.join(corpus, name))
    return summary()

if __name__ == "__main__":
    sys.exit(main())
