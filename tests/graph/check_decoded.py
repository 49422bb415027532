#!/usr/bin/env python3
"""The AVC, HEVC and AAC pins deliver what decodes to the source's own pictures and sound.

usage: check_decoded.py CORPUS_DIR MODULE.ax WORK_DIR KELO_PLAY_EXE [EMULATOR...]

kelo-play plays each source through the module: the corpus' h264_aac.mp4
(H.264 with B-frames, stereo AAC at 44.1 kHz) and faststart.mp4, and every
decode_*.mp4 in the folder KELO_AV_MEDIA names (a 4:3 sample aspect ratio,
other key-frame intervals, mono AAC at 22.05 kHz and 5.1 at 48 kHz). It plays
them with --json and --dump: the H.264 pin's NAL units become an
Annex B .h264, the AAC pin's access units an ADTS .aac. ffmpeg decodes both
dumps and the MP4 itself, with its edit list ignored so that every frame and
every access unit is decoded once, priming included (the dump has no edit list
to drop the encoder's delay with).

Each delivered sample is matched, by the FNV-1a hash in kelo-play's JSON, with
the NAL unit or access unit of the source it carries. Then, for a whole play, a
start at 1 s and a seek while playing:
- video: the dump decodes to exactly the source's pictures that its slices
  make, in display order, per run of samples between flushes: the whole clip,
  or the tail from a key frame, after what the first run had decoded;
- audio: the dump is byte for byte ffmpeg's own ADTS framing (its adts muxer)
  of the delivered access units, in delivery order; decoded, every frame fed
  from the first access unit on without a jump is the source's decoding of it
  (the whole play: all of the PCM). Frames after a jump (a start past 0, a
  seek) cannot match the source's continuous decoding: the first overlaps with
  half a frame the decoder never saw, and the noise-coded (PNS) bands of the
  later ones come from a random generator whose state differs; for those the
  bytes are what must match.
- the pins' types in words agree with ffprobe's profile, level, SAR, rate and
  channel count.

The HEVC pin plays every hevc_*.mp4 and hevc_*.mov of KELO_AV_MEDIA (libx265
with B-frames, 8-bit 'hvc1' in MP4 with a 10:11 sample aspect ratio and a
conformance window, 10-bit 'hev1' in MOV, each beside AAC) in the same three
ways: each sample is one of the source's access units whole, and the .hevc
dump (the parameter sets of the media type, then every NAL unit, each behind a
start code) decodes to the source's pictures as above; played whole, each is
stamped at ffprobe's presentation time and is a sync point where ffprobe has a
key frame; the type's words agree with ffprobe's size, SAR, profile and level.

The MPEG4 Video pin plays the corpus' mpeg4v.mp4 (MPEG-4 Visual) and
h263_aac.3gp (H.263 beside AAC) and every pictures_*.3gp of KELO_AV_MEDIA
(MPEG-4 Visual beside AAC), whole, from 1 s and with a seek while playing:
each run of samples is the source's pictures as stored, from a key frame on,
and the .m4v (the decoder configuration, then the pictures) or .h263 dump
decodes with ffmpeg to exactly the frames the source decodes to there; beside
audio, the audio pin delivers at the same time.

The AMR pin plays amrnb.3gp and every file of KELO_AMR_MEDIA (fragmented AMR,
and H.263 or MPEG-4 Visual video with AMR, through both pins at once), whole
and from 2.53 s: its samples are the source's packets from the one holding the
instant before the start; the .amr dump is the AMR storage file of them (the
magic, then the samples), which for the whole play is ffmpeg's own remux of
the track and decodes to the same PCM as the track itself; beside video, the
video pin delivers every picture of the source as stored.
"""
import json
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
from check_list import check, player_arguments, run, summary  # noqa: E402


CORPUS_SOURCES = ["h264_aac.mp4", "faststart.mp4"]
MEDIATYPE_VIDEO = "{73646976-0000-0010-8000-00AA00389B71}"
MEDIATYPE_AUDIO = "{73647561-0000-0010-8000-00AA00389B71}"


def fnv1a(data):
    h = 14695981039346656037
    for b in data:
        h = ((h ^ b) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return f"{h:016x}"


def ffprobe(path, select, entries):
    out = run(["ffprobe", "-v", "error", "-select_streams", select, "-show_entries", entries, "-of", "json", path])
    return json.loads(out)


def source_packets(path, select):
    """The track's packets in decode order: (bytes, pts, key)."""
    info = ffprobe(path, select, "packet=size,pts,flags")["packets"]
    joined = run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:" + select, "-c", "copy", "-f", "data",
                  "-"])
    out, at = [], 0
    for p in info:
        size = int(p["size"])
        out.append((joined[at:at + size], int(p["pts"]), "K" in p["flags"]))
        at += size
    assert at == len(joined)
    return out


def split_adts(data):
    """ADTS frames, each split off by its 13-bit length."""
    frames, at = [], 0
    while at + 7 <= len(data):
        length = (data[at + 3] & 3) << 11 | data[at + 4] << 3 | data[at + 5] >> 5
        frames.append(data[at:at + length])
        at += length
    return frames


def adts_frames(path, work, select="a"):
    """ffmpeg's own ADTS frames of the source's access units (of the audio track `select` names)."""
    adts = os.path.join(work, "source.aac")
    run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", path, "-map", "0:" + select, "-c", "copy", "-f", "adts",
         adts])
    with open(adts, "rb") as f:
        return split_adts(f.read())


def frame_hashes(path, *before_input):
    out = run(["ffmpeg", "-nostdin", "-v", "error", *before_input, "-i", path, "-map", "0:v", "-vsync", "passthrough",
               "-f", "framemd5", "-"], text=True)
    return [line.split(",")[-1].strip() for line in out.splitlines() if line and not line.startswith("#")]


def pcm(path, *before_input):
    return run(["ffmpeg", "-nostdin", "-v", "error", *before_input, "-i", path, "-map", "0:a", "-f", "s16le", "-"])


class Source:
    """What ffmpeg finds in the source: NAL units and access units, each by hash."""

    def __init__(self, path, work):
        video = source_packets(path, "v")
        self.video_keys = [i for i, (_, _, key) in enumerate(video) if key]
        # Decode times of the key frames: a start before the second one begins at the first.
        video_times = ffprobe(path, "v", "packet=dts_time,pts_time,flags")["packets"]
        self.video_key_times = [float(p["dts_time"]) for p in video_times if "K" in p["flags"]]
        # Each access unit's presentation time in 100 ns, the edit list applied.
        self.video_pts = [round(float(p["pts_time"]) * 1e7) for p in video_times]
        # Display position of each access unit: its rank by presentation time.
        by_pts = sorted(range(len(video)), key=lambda i: video[i][1])
        self.display_rank = {au: rank for rank, au in enumerate(by_pts)}
        self.video_au_of_nal = {}
        # For a pin that delivers access units whole: closed GOPs repeat
        # access units byte for byte, so a run is placed by its sequence.
        self.video_whole = [fnv1a(data) for data, _, _ in video]
        for au, (data, _, _) in enumerate(video):
            at = 0
            while at < len(data):  # the MP4's 4-byte length prefixes
                size = int.from_bytes(data[at:at + 4], "big")
                self.video_au_of_nal[fnv1a(data[at + 4:at + 4 + size])] = au
                at += 4 + size
        self.video_count = len(video)
        audio = source_packets(path, "a")
        self.audio_au_of_hash = {fnv1a(data): i for i, (data, _, _) in enumerate(audio)}
        self.audio_count = len(audio)
        self.adts_frames = adts_frames(path, work)
        assert len(self.adts_frames) == self.audio_count
        self.frames = frame_hashes(path, "-ignore_editlist", "1")
        self.pcm = pcm(path, "-ignore_editlist", "1")
        self.frame_bytes = len(self.pcm) // len(audio)  # bytes of s16 PCM one access unit decodes to
        self.video_info = ffprobe(path, "v", "stream=codec_name,width,height,profile,level,sample_aspect_ratio")[
            "streams"][0]
        self.audio_info = ffprobe(path, "a", "stream=profile,sample_rate,channels")["streams"][0]


def runs_of(lines, pin):
    """The pin's sample hashes, one list per run between flushes."""
    runs = [[]]
    for e in lines:
        if e.get("pin") != pin:
            continue
        if e["kind"] == "begin_flush" and runs[-1]:
            runs.append([])
        elif e["kind"] == "sample":
            runs[-1].append(e["hash"])
    return [r for r in runs if r]


def whole_units(source, hashes):
    """The access units a run of whole access units is, from the key frame whose sequence it repeats; or None."""
    for key in source.video_keys:
        if source.video_whole[key:key + len(hashes)] == hashes:
            return list(range(key, key + len(hashes)))
    return None


def check_video(label, source, runs, dump):
    """The first access unit delivered, or None."""
    expected, first = [], None
    for n, hashes in enumerate(runs):
        aus = whole_units(source, hashes) or sorted(
            {source.video_au_of_nal[h] for h in hashes if h in source.video_au_of_nal})
        if not check(aus, f"{label} video run {n}: no slice of the source delivered"):
            return None
        first = aus[0] if first is None else first
        # Each run is the access units from a key frame on, none left out;
        # the last one goes on to the end.
        check(aus[0] in source.video_keys and aus == list(range(aus[0], aus[-1] + 1)),
              f"{label} video run {n}: access units {aus[0]}..{aus[-1]} not whole from a key frame: {aus}")
        check(n < len(runs) - 1 or aus[-1] == source.video_count - 1,
              f"{label} video: the last run ends at access unit {aus[-1]} of {source.video_count}")
        expected += [source.frames[source.display_rank[au]] for au in sorted(aus, key=source.display_rank.get)]
    got = frame_hashes(dump)
    first_difference = next((i for i, (a, b) in enumerate(zip(got, expected)) if a != b),
                            min(len(got), len(expected)))
    check(got == expected, f"{label} video: the dump decodes to {len(got)} frames, want {len(expected)}; "
                           f"first difference at frame {first_difference}")
    return first


def check_audio(label, source, runs, dump):
    delivered = [h for r in runs for h in r]
    aus = [source.audio_au_of_hash.get(h) for h in delivered]
    if not check(None not in aus, f"{label} audio: {aus.count(None)} samples are no access unit of the source"):
        return
    # Each run is access units in order; the last one goes on to the end.
    for n, r in enumerate(runs):
        run_aus = [source.audio_au_of_hash[h] for h in r]
        in_order = run_aus == list(range(run_aus[0], run_aus[0] + len(run_aus)))
        to_the_end = n < len(runs) - 1 or run_aus[-1] == source.audio_count - 1
        check(in_order and to_the_end, f"{label} audio run {n}: access units {run_aus[0]}..{run_aus[-1]} "
                                       f"{'' if to_the_end else 'short of the end '}{'' if in_order else 'out of order'}")
    # The dump is ffmpeg's own ADTS framing of the same access units.
    with open(dump, "rb") as f:
        dumped = f.read()
    check(dumped == b"".join(source.adts_frames[au] for au in aus),
          f"{label} audio: the dump is not ffmpeg's ADTS frames of the delivered access units")

    # Decoded, every frame fed from the first access unit on without a jump
    # is the source's own. After a jump nothing decodes as in the source:
    # the first frame overlaps with the half of a frame the decoder never saw,
    # and ffmpeg's encoder codes some bands as noise (PNS), which the decoder
    # fills from a random generator whose state depends on every band it
    # filled before. The bytes above are what those frames have to match.
    got = pcm(dump)
    size = source.frame_bytes
    if not check(len(got) == len(aus) * size, f"{label} audio: {len(got)} bytes of PCM for {len(aus)} access units"):
        return
    continuous = 0
    while continuous < len(aus) and aus[continuous] == continuous:
        continuous += 1
    check(got[:continuous * size] == source.pcm[:continuous * size],
          f"{label} audio: the {continuous} access units from the first on decode to other PCM than the source's")
    return continuous


def play(player, label, work, args, endings=(".h264", ".aac")):
    """Plays with --json and --dump: the JSON lines and the one dump file of each ending (a str or tuple of str)."""
    dump = os.path.join(work, label.replace(" ", "_"))
    shutil.rmtree(dump, ignore_errors=True)
    done = subprocess.run(player + ["--json", "--dump", dump] + args, capture_output=True, timeout=300)
    out, err = done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")
    if not check(done.returncode == 0, f"{label}: exit {done.returncode}; {err}"):
        return None
    lines = [json.loads(line) for line in out.splitlines() if line.startswith("{")]
    files = os.listdir(dump)
    chosen = [[f for f in files if f.endswith(ending)] for ending in endings]
    if not check(all(len(c) == 1 for c in chosen), f"{label}: dumped {files}; {err}"):
        return None
    return (lines, *[os.path.join(dump, c[0]) for c in chosen])


def check_whole_stamps(label, source, lines, pin):
    """A pin of whole access units, played whole: each at its presentation time, a sync point where a key frame is."""
    samples = [e for e in lines if e.get("pin") == pin and e["kind"] == "sample"]
    got = [(e["start"], e["sync"]) for e in samples]
    want = [(pts, au in source.video_keys) for au, pts in enumerate(source.video_pts)]
    wrong = next((i for i, (a, b) in enumerate(zip(got, want)) if abs(a[0] - b[0]) > 1 or a[1] != b[1]), None)
    check(len(got) == len(want) and wrong is None,
          f"{label} video: {len(got)} samples, want {len(want)}; sample {wrong}: {got[wrong] if wrong is not None else ''}"
          f" stamped and marked, want {want[wrong] if wrong is not None else ''}")


def check_words(label, source, lines):
    types = {e["subtype"]: e["type"] for e in lines if e["kind"] == "pin"}
    v, a = source.video_info, source.audio_info
    level = int(v["level"])
    # H.264 counts levels in tenths, HEVC in thirtieths.
    codec, level_text = (("HEVC", f"{level // 30}.{level % 30 // 3}") if v["codec_name"] == "hevc" else
                         ("H.264", f"{level // 10}.{level % 10}"))
    video = (f"{codec} video, {v['width']}x{v['height']}, SAR {v['sample_aspect_ratio']}, {v['profile']} profile, "
             f"level {level_text}")
    channels = f"{a['channels']} channel" + ("" if int(a["channels"]) == 1 else "s")
    audio = f"AAC {a['profile']} audio, {a['sample_rate']} Hz, {channels}"
    words = list(types.values())
    check(any(w.startswith(video) for w in words), f"{label}: no pin says '{video}': {words}")
    check(audio in words, f"{label}: no pin says '{audio}': {words}")


CASES = [
    # (label, kelo-play options, how many runs each pin delivers, the start
    # of the first run: None for the first access unit)
    ("whole", [], 1, None),
    ("start 1 s", ["--start", "1"], 1, 1.0),
    # --realtime so that the file cannot end before the seek comes.
    ("seek 0.5 to 1.5", ["--realtime", "--seek-at", "0.5:1.5"], 2, None),
]


def check_source(name, path, work, player, video_ending=".h264"):
    source = Source(path, work)
    check(len(source.frames) == source.video_count and len(source.pcm) % source.audio_count == 0,
          f"ffmpeg decodes {len(source.frames)} frames of {source.video_count} and "
          f"{len(source.pcm)} bytes of PCM for {source.audio_count} access units")
    for label, args, run_count, start in CASES:
        from_first = start is None
        # Video starts at the key frame at or before the start: the first one
        # when no other lies before it.
        video_from_first = from_first or not any(0 < t < start for t in source.video_key_times)
        played = play(player, label, work, args + [path], endings=(video_ending, ".aac"))
        if not played:
            continue
        lines, video_dump, aac = played
        majors = {e["pin"]: e["major"].upper() for e in lines if e["kind"] == "pin"}
        video_pin = next((p for p, major in majors.items() if major == MEDIATYPE_VIDEO), None)
        audio_pin = next((p for p, major in majors.items() if major == MEDIATYPE_AUDIO), None)
        if not check(video_pin and audio_pin, f"{name} {label}: pins {majors}"):
            continue
        video_runs, audio_runs = runs_of(lines, video_pin), runs_of(lines, audio_pin)
        check(len(video_runs) == run_count and len(audio_runs) == run_count,
              f"{name} {label}: {len(video_runs)} video and {len(audio_runs)} audio runs, want {run_count}")
        first = check_video(f"{name} {label}", source, video_runs, video_dump)
        check(first is None or (first == 0) == video_from_first,
          f"{name} {label} video: the first access unit is {first}")
        continuous = check_audio(f"{name} {label}", source, audio_runs, aac)
        if continuous is not None:
            want = source.audio_count if label == "whole" else 0
            check(continuous >= want and (continuous > 0) == from_first,
                  f"{name} {label} audio: {continuous} access units decoded from the first on without a jump")
        if label == "whole":
            check_words(f"{name} {label}", source, lines)
            if video_ending == ".hevc":
                check_whole_stamps(f"{name} {label}", source, lines, video_pin)


# The MPEG4 Video pin: pictures without B-frames, one per sample, so decode
# order is display order and a run from a key frame decodes as in the source.
PICTURE_CORPUS_SOURCES = ["mpeg4v.mp4", "h263_aac.3gp"]


def check_picture_source(name, path, work, player):
    packets = source_packets(path, "v")
    index_of = {fnv1a(data): i for i, (data, _, _) in enumerate(packets)}
    keys = [i for i, (_, _, key) in enumerate(packets) if key]
    dts = [float(p["dts_time"]) for p in ffprobe(path, "v", "packet=dts_time")["packets"]]
    rank = {i: r for r, i in enumerate(sorted(range(len(packets)), key=lambda i: packets[i][1]))}
    frames = frame_hashes(path, "-ignore_editlist", "1")
    check(len(frames) == len(packets), f"{name}: ffmpeg decodes {len(frames)} frames of {len(packets)} pictures")
    has_audio = bool(ffprobe(path, "a", "stream=index")["streams"])
    extension = ".h263" if ffprobe(path, "v", "stream=codec_name")["streams"][0]["codec_name"] == "h263" else ".m4v"
    for label, args, run_count, start in CASES:
        played = play(player, f"{name} {label}", work, args + [path], endings=((".m4v", ".h263"),))
        if not played:
            continue
        lines, dump = played
        check(dump.endswith(extension), f"{name} {label}: dumped {dump}, want a {extension}")
        majors = {e["pin"]: e["major"].upper() for e in lines if e["kind"] == "pin"}
        video_pin = next((p for p, major in majors.items() if major == MEDIATYPE_VIDEO), None)
        audio_pin = next((p for p, major in majors.items() if major == MEDIATYPE_AUDIO), None)
        if not check(video_pin is not None and (audio_pin is not None) == has_audio, f"{name} {label}: pins {majors}"):
            continue
        runs = runs_of(lines, video_pin)
        check(len(runs) == run_count, f"{name} {label}: {len(runs)} video runs, want {run_count}")
        if has_audio:
            check(len(runs_of(lines, audio_pin)) == run_count, f"{name} {label}: the audio pin's runs")
        expected = []
        for n, hashes in enumerate(runs):
            pictures = [index_of.get(h) for h in hashes]
            if not check(None not in pictures, f"{name} {label} run {n}: samples that are no picture of the source"):
                break
            whole = pictures == list(range(pictures[0], pictures[0] + len(pictures)))
            check(whole and pictures[0] in keys, f"{name} {label} run {n}: pictures {pictures[0]}..{pictures[-1]} "
                                                 f"not in order from a key frame")
            check(n < len(runs) - 1 or pictures[-1] == len(packets) - 1,
                  f"{name} {label}: the last run ends at picture {pictures[-1]} of {len(packets)}")
            if n == 0:
                # From the key frame at or before the picture holding the start
                # (a start on a picture's first instant begins with that picture).
                want = 0 if start is None else max(k for k in keys if dts[k] <= start)
                check(pictures[0] == want, f"{name} {label}: begins at picture {pictures[0]}, want {want}")
            # Display order: a picture's rank by presentation time.
            shown = sorted(pictures, key=lambda i: packets[i][1])
            expected.append([frames[rank[i]] for i in shown])
        got = frame_hashes(dump)
        # A run from picture 0 decodes whole. A run from a later key frame
        # loses at most the B-pictures stored right behind it (max_b_frames,
        # 2 here), which reference the picture before the key frame; every
        # other frame is the source's, in order.
        allowed = sum(2 for n, run in enumerate(runs) if index_of.get(run[0]) != 0)
        flat = [h for run in expected for h in run]
        at = 0
        for h in got:
            while at < len(flat) and flat[at] != h:
                at += 1
            at += 1
        if len(expected) > 1:
            # Across a seek the decoder joins the runs: the pictures around the
            # join reference the other run's. Away from it, both are the source's.
            head, tail = expected[0][:-3], expected[-1][3:]
            check(got[:len(head)] == head and got[len(got) - len(tail):] == tail,
                  f"{name} {label}: the dump's frames before and after the seek are not the source's")
            continue
        check(at <= len(flat) and len(flat) - len(got) <= allowed,
              f"{name} {label}: the dump decodes to {len(got)} frames, want the source's {len(flat)} in order "
              f"(at most {allowed} B-pictures behind a restart missing)")


# The AMR pin: the corpus' amrnb.3gp and every file of KELO_AMR_MEDIA:
# fragmented AMR (empty moov with and without mfra, samples in moov before
# the fragments) and 3GP files of H.263 or MPEG-4 Visual video with AMR,
# which play through both pins at once.
AMR_CORPUS_SOURCES = ["amrnb.3gp"]
# (label, kelo-play options, start in seconds or None)
AMR_CASES = [
    ("amr whole", [], None),
    ("amr start 2.53 s", ["--start", "2.53"], 2.53),
]


def amr_dump(player, label, work, args):
    """kelo-play's JSON lines and the dump folder's files by extension."""
    dump = os.path.join(work, label.replace(" ", "_"))
    shutil.rmtree(dump, ignore_errors=True)
    done = subprocess.run(player + ["--json", "--dump", dump] + args, capture_output=True, timeout=300)
    out, err = done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")
    if not check(done.returncode == 0, f"{label}: exit {done.returncode}; {err}"):
        return None
    lines = [json.loads(line) for line in out.splitlines() if line.startswith("{")]
    files = {os.path.splitext(f)[1]: os.path.join(dump, f) for f in os.listdir(dump)}
    return lines, files


def check_amr_source(name, path, work, player):
    """The .amr dump is, byte for byte, ffmpeg's own AMR storage file of the
    delivered samples, and decodes to the source's AMR track's PCM; with
    video beside it, the video pin plays at the same time and delivers every
    picture as stored."""
    packets = source_packets(path, "a")
    storage = os.path.join(work, "source.amr")
    run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", path, "-map", "0:a", "-c", "copy", "-f", "amr", storage])
    with open(storage, "rb") as f:
        check(f.read() == b"#!AMR\n" + b"".join(data for data, _, _ in packets),
              f"{name}: ffmpeg's AMR storage file is not the magic and the packets")
    time_base = ffprobe(path, "a", "stream=time_base")["streams"][0]["time_base"].split("/")
    source_pcm = pcm(path, "-ignore_editlist", "1")
    has_video = bool(ffprobe(path, "v", "stream=index")["streams"])
    video_hashes = [fnv1a(data) for data, _, _ in source_packets(path, "v")] if has_video else []
    for label, args, start in AMR_CASES:
        played = amr_dump(player, f"{name} {label}", work, args + [path])
        if not played:
            continue
        lines, files = played
        majors = {e["pin"]: e["major"].upper() for e in lines if e["kind"] == "pin"}
        video_pins = [p for p, major in majors.items() if major == MEDIATYPE_VIDEO]
        if not check(majors.get("AMR") == MEDIATYPE_AUDIO and len(video_pins) == int(has_video)
                     and len(majors) == 1 + int(has_video), f"{name} {label}: pins {majors}"):
            continue
        # Samples from the one holding the instant before the start to the end.
        first = 0
        if start is not None:
            start_ticks = round(start * int(time_base[1]) / int(time_base[0]))
            first = max(i for i, (_, pts, _) in enumerate(packets) if pts < start_ticks)
        # By hash, in order: silent frames repeat the same bytes.
        delivered = [h for r in runs_of(lines, "AMR") for h in r]
        wanted = [fnv1a(data) for data, _, _ in packets[first:]]
        mismatch = next((i for i, (a, b) in enumerate(zip(delivered, wanted)) if a != b),
                        min(len(delivered), len(wanted)))
        check(delivered == wanted, f"{name} {label}: {len(delivered)} AMR samples, want packets {first}.."
                                   f"{len(packets) - 1}; first difference at sample {mismatch}")
        if not check(".amr" in files, f"{name} {label}: no .amr dump: {sorted(files)}"):
            continue
        with open(files[".amr"], "rb") as f:
            dumped = f.read()
        check(dumped == b"#!AMR\n" + b"".join(data for data, _, _ in packets[first:]),
              f"{name} {label}: the .amr dump is not the magic and the samples from {first} on")
        if start is None:
            got = pcm(files[".amr"])
            check(got == source_pcm, f"{name} {label}: the .amr dump decodes to {len(got)} bytes of PCM, "
                                     f"the source's AMR track to {len(source_pcm)}, or to others")
            if has_video:
                got = [h for r in runs_of(lines, video_pins[0]) for h in r]
                check(got == video_hashes, f"{name} {label}: the video pin delivered {len(got)} samples, "
                                           f"want the source's {len(video_hashes)} pictures as stored")


def main():
    parsed = player_arguments(__doc__, 1)
    if not parsed:
        return 2
    (corpus,), work, player = parsed
    av_media = os.environ.get("KELO_AV_MEDIA", "")
    amr_media = os.environ.get("KELO_AMR_MEDIA", "")
    # Per pin family: its corpus files, the fixture files that join them, and its check.
    families = [
        (CORPUS_SOURCES, av_media, lambda f: f.startswith("decode_") and f.endswith(".mp4"), check_source),
        ([], av_media, lambda f: f.startswith("hevc_") and f.endswith((".mp4", ".mov")),
         lambda name, path, work, player: check_source(name, path, work, player, video_ending=".hevc")),
        (PICTURE_CORPUS_SOURCES, av_media, lambda f: f.startswith("pictures_") and f.endswith(".3gp"), check_picture_source),
        (AMR_CORPUS_SOURCES, amr_media, lambda f: f.endswith(".3gp"), check_amr_source),
    ]
    for names, folder, joins, check_one in families:
        sources = [os.path.join(corpus, name) for name in names]
        if folder:
            sources += sorted(os.path.join(folder, f) for f in os.listdir(folder) if joins(f))
        for path in sources:
            name = os.path.basename(path)
            source_work = os.path.join(work, name)
            os.makedirs(source_work, exist_ok=True)
            check_one(name, path, source_work, player)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
