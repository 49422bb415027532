#!/usr/bin/env python3
"""The AVC, HEVC and AAC pins deliver what decodes to the source's own pictures and sound, on the file's own timeline.

usage: check_decoded.py CORPUS_DIR MODULE.ax WORK_DIR KELO_PLAY_EXE [EMULATOR...]

kelo-play plays each source through the module: the corpus' h264_aac.mp4
(H.264 with B-frames, stereo AAC at 44.1 kHz) and faststart.mp4, both with
ffmpeg's edit lists (the video's presentation start, the audio's encoder
priming); the corpus' fragmented files: frag_mfra.mp4 (from 0, with an
mfra index) and those whose timelines real recordings have: frag_late.mp4
(fragments whose first tfdt lies 10 hours in) and frag_dash_stream0.mp4 / frag_dash_stream1.mp4 (a DASH init segment and its
media segments joined, video alone and audio alone); and every decode_*.mp4 in
the folder KELO_AV_MEDIA names (a 4:3 sample aspect ratio, other key-frame
intervals, mono AAC at 22.05 kHz and 5.1 at 48 kHz). It plays them with --json
and --dump: the H.264 pin's NAL units become an Annex B .h264, the AAC pin's
access units an ADTS .aac. ffmpeg decodes both dumps and the MP4 itself, with
its edit list ignored so that every frame and every access unit is decoded
once, priming included (the dump has no edit list to drop the encoder's delay
with).

Stream time 0 is the earliest presentation of the tracks played (ffprobe's
stream start times, edit lists applied). Each delivered sample is matched, by
the FNV-1a hash in kelo-play's JSON, with the NAL unit or access unit of the
source it carries. Then, for a whole play, a start at 1 s and a seek from
0.5 s to 1.5 s while playing:
- video: each run of samples between flushes is the source's access units,
  whole and in order, from the key frame at or before the access unit holding
  the instant before the start or seek (by decode time, the edit list's shift
  left out), the
  last run to the end; the dump decodes to exactly the source's pictures that
  they make, in display order;
- audio: each run is access units in order, from the one holding the instant
  before the start or seek (where the whole play put the first), the last run
  to the end; the dump is byte for byte ffmpeg's own ADTS framing (its adts
  muxer) of the delivered access units, in delivery order; decoded, every
  frame fed from the first access unit on without a jump is the source's
  decoding of it (the whole play: all of the PCM). Frames after a jump (a
  start past 0, a seek) cannot match the source's continuous decoding: the
  first overlaps with half a frame the decoder never saw, and the noise-coded
  (PNS) bands of the later ones come from a random generator whose state
  differs; for those the bytes are what must match.
- played whole, each pin's earliest stamp is, within 1 ms, its track's
  earliest presentation time in ffprobe's packets (edit lists applied) on
  stream time: the first picture at 0, the audio's priming before it, a late
  timeline's tracks as far apart as in the file;
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
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from kelo_play import (MEDIATYPE_AUDIO, MEDIATYPE_VIDEO, check, ffprobe, fnv1a, frame_hashes, hashes,  # noqa: E402
                       pcm, pins_of, play, player_arguments, run, runs_of, samples, source_packets, summary)

CORPUS_SOURCES = ["h264_aac.mp4", "faststart.mp4", "frag_mfra.mp4", "frag_late.mp4", "frag_dash_stream0.mp4",
                  "frag_dash_stream1.mp4"]
# Stream time 0 on ffprobe's timeline where its stream start times are not it: in a fragmented track ffmpeg shifts
# the packets by the edit's media time (the 1024 samples of AAC priming) but keeps the priming, at -1024/44100 s.
ORIGINS = {"frag_dash_stream1.mp4": 0.0}
# (label, kelo-play options, the start and the seek in seconds, None for none); --realtime so that the file
# cannot end before the seek comes.
CASES = [
    ("whole", [], None, None),
    ("start 1 s", ["--start", "1"], 1.0, None),
    ("seek 0.5 to 1.5", ["--realtime", "--seek-at", "0.5:1.5"], None, 1.5),
]


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


def earliest_pts(path, kind, origin):
    """The track's earliest presentation in ffprobe's packets (edit lists applied), on stream time."""
    return min(float(p["pts_time"]) for p in ffprobe(path, kind, "packet=pts_time")["packets"]) - origin


class Video:
    """What ffmpeg finds in the source's video: access units by hash, their pictures and times on stream time."""

    def __init__(self, path, origin):
        packets = source_packets(path, "v")
        self.count = len(packets)
        self.keys = [i for i, (_, _, key) in enumerate(packets) if key]
        # A start or a seek looks the sample up by decode time, the edit list's shift left out.
        raw = ffprobe(path, "v", "packet=dts_time", "-ignore_editlist", "1")["packets"]
        self.key_times = {k: float(raw[k]["dts_time"]) - origin for k in self.keys}
        times = ffprobe(path, "v", "packet=pts_time")["packets"]
        self.pts = [round((float(p["pts_time"]) - origin) * 1e7) for p in times]  # in 100 ns
        self.earliest = earliest_pts(path, "v", origin)
        # Display position of each access unit: its rank by presentation time.
        by_pts = sorted(range(self.count), key=lambda i: packets[i][1])
        self.display_rank = {au: rank for rank, au in enumerate(by_pts)}
        # For a pin that delivers access units whole: closed GOPs repeat
        # access units byte for byte, so a run is placed by its sequence.
        self.whole = [fnv1a(data) for data, _, _ in packets]
        self.au_of_nal = {}
        for au, (data, _, _) in enumerate(packets):
            at = 0
            while at < len(data):  # the MP4's 4-byte length prefixes
                size = int.from_bytes(data[at:at + 4], "big")
                self.au_of_nal[fnv1a(data[at + 4:at + 4 + size])] = au
                at += 4 + size
        self.frames = frame_hashes(path, "-ignore_editlist", "1")
        check(len(self.frames) == self.count, f"ffmpeg decodes {len(self.frames)} frames of {self.count}")
        self.info = ffprobe(path, "v", "stream=codec_name,width,height,profile,level,sample_aspect_ratio")[
            "streams"][0]

    def first_key(self, at):
        """The key frame at or before the access unit holding the instant before `at` (None: the first)."""
        return max([0] + [k for k in self.keys if at is not None and self.key_times[k] < at - 1e-9])

    def units(self, run_hashes):
        """The access units a run is: by its sequence of whole units from a key frame, else by its NAL units."""
        for key in self.keys:
            if self.whole[key:key + len(run_hashes)] == run_hashes:
                return list(range(key, key + len(run_hashes)))
        return sorted({self.au_of_nal[h] for h in run_hashes if h in self.au_of_nal})


class Audio:
    """What ffmpeg finds in the source's audio: access units by hash, their ADTS frames and PCM."""

    def __init__(self, path, work, origin):
        packets = source_packets(path, "a")
        self.count = len(packets)
        self.au_of_hash = {fnv1a(data): i for i, (data, _, _) in enumerate(packets)}
        self.adts_frames = adts_frames(path, work)
        assert len(self.adts_frames) == self.count
        self.pcm = pcm(path, "-ignore_editlist", "1")
        check(len(self.pcm) % self.count == 0, f"{len(self.pcm)} bytes of PCM for {self.count} access units")
        self.frame_bytes = len(self.pcm) // self.count  # bytes of s16 PCM one access unit decodes to
        self.decode_times = [float(p["dts_time"]) for p in
                             ffprobe(path, "a", "packet=dts_time", "-ignore_editlist", "1")["packets"]]
        self.earliest = earliest_pts(path, "a", origin)
        self.origin = None  # the stream time of decode time 0, from the whole play's first stamp
        self.info = ffprobe(path, "a", "stream=profile,sample_rate,channels")["streams"][0]

    def first_unit(self, at):
        """The access unit holding the instant before `at` (None: the first)."""
        return max([0] + [k for k, t in enumerate(self.decode_times)
                          if at is not None and self.origin is not None and t - self.origin < at - 1e-9])


def check_video(label, video, runs, dump, positions):
    expected = []
    for n, (run_samples, at) in enumerate(zip(runs, positions)):
        aus = video.units(hashes(run_samples))
        if not check(aus, f"{label} video run {n}: no slice of the source delivered"):
            return
        want = video.first_key(at)
        check(aus == list(range(want, aus[-1] + 1)),
              f"{label} video run {n}: access units {aus[0]}..{aus[-1]}, want them whole from the key frame {want}")
        check(n < len(runs) - 1 or aus[-1] == video.count - 1,
              f"{label} video: the last run ends at access unit {aus[-1]} of {video.count}")
        expected += [video.frames[video.display_rank[au]] for au in sorted(aus, key=video.display_rank.get)]
    got = frame_hashes(dump) if dump else []
    first_difference = next((i for i, (a, b) in enumerate(zip(got, expected)) if a != b),
                            min(len(got), len(expected)))
    check(got == expected, f"{label} video: the dump decodes to {len(got)} frames, want {len(expected)}; "
                           f"first difference at frame {first_difference}")


def check_audio(label, audio, runs, dump, positions):
    aus = [audio.au_of_hash.get(h) for r in runs for h in hashes(r)]
    if not check(None not in aus, f"{label} audio: {aus.count(None)} samples are no access unit of the source"):
        return
    if positions == [None] and runs:
        audio.origin = audio.decode_times[0] - runs[0][0]["start"] / 1e7
    for n, (r, at) in enumerate(zip(runs, positions)):
        run_aus = [audio.au_of_hash[h] for h in hashes(r)]
        want = audio.first_unit(at)
        in_order = run_aus == list(range(want, want + len(run_aus)))
        to_the_end = n < len(runs) - 1 or run_aus[-1] == audio.count - 1
        check(in_order and to_the_end, f"{label} audio run {n}: access units {run_aus[0]}..{run_aus[-1]} "
                                       f"{'' if to_the_end else 'short of the end '}"
                                       f"{'' if in_order else f'out of order or not from {want}'}")
    # The dump is ffmpeg's own ADTS framing of the same access units.
    with open(dump or os.devnull, "rb") as f:
        dumped = f.read()
    check(dumped == b"".join(audio.adts_frames[au] for au in aus),
          f"{label} audio: the dump is not ffmpeg's ADTS frames of the delivered access units")

    # Decoded, every frame fed from the first access unit on without a jump
    # is the source's own. After a jump nothing decodes as in the source:
    # the first frame overlaps with the half of a frame the decoder never saw,
    # and ffmpeg's encoder codes some bands as noise (PNS), which the decoder
    # fills from a random generator whose state depends on every band it
    # filled before. The bytes above are what those frames have to match.
    got = pcm(dump) if dump else b""
    size = audio.frame_bytes
    if not check(len(got) == len(aus) * size, f"{label} audio: {len(got)} bytes of PCM for {len(aus)} access units"):
        return
    continuous = 0
    while continuous < len(aus) and aus[continuous] == continuous:
        continuous += 1
    check(got[:continuous * size] == audio.pcm[:continuous * size],
          f"{label} audio: the {continuous} access units from the first on decode to other PCM than the source's")
    want = audio.count if positions == [None] else 0
    check(continuous >= want and (continuous > 0) == (positions[0] is None),
          f"{label} audio: {continuous} access units decoded from the first on without a jump")


def check_whole_stamps(label, video, lines, pin):
    """A pin of whole access units, played whole: each at its presentation time, a sync point where a key frame is."""
    got = [(e["start"], e["sync"]) for e in samples(lines, pin)]
    want = [(pts, au in video.keys) for au, pts in enumerate(video.pts)]
    wrong = next((i for i, (a, b) in enumerate(zip(got, want)) if abs(a[0] - b[0]) > 1 or a[1] != b[1]), None)
    check(len(got) == len(want) and wrong is None,
          f"{label} video: {len(got)} samples, want {len(want)}; sample {wrong}: {got[wrong] if wrong is not None else ''}"
          f" stamped and marked, want {want[wrong] if wrong is not None else ''}")


def check_words(label, video, audio, lines):
    words = [e["type"] for e in lines if e["kind"] == "pin"]
    wanted = []
    if video:
        v = video.info
        level = int(v["level"])
        # H.264 counts levels in tenths, HEVC in thirtieths.
        codec, level_text = (("HEVC", f"{level // 30}.{level % 30 // 3}") if v["codec_name"] == "hevc" else
                             ("H.264", f"{level // 10}.{level % 10}"))
        wanted.append(f"{codec} video, {v['width']}x{v['height']}, SAR {v['sample_aspect_ratio']}, {v['profile']} "
                      f"profile, level {level_text}")
    if audio:
        a = audio.info
        channels = f"{a['channels']} channel" + ("" if int(a["channels"]) == 1 else "s")
        wanted.append(f"AAC {a['profile']} audio, {a['sample_rate']} Hz, {channels}")
    for want in wanted:
        check(any(w.startswith(want) for w in words), f"{label}: no pin says '{want}': {words}")


def check_source(name, path, work, player, video_ending=".h264"):
    starts = [float(s["start_time"]) for kind in "va" for s in ffprobe(path, kind, "stream=start_time")["streams"]]
    origin = ORIGINS.get(name, min(starts))  # stream time 0
    has = {kind: bool(ffprobe(path, kind, "stream=index")["streams"]) for kind in "va"}
    video = Video(path, origin) if has["v"] else None
    audio = Audio(path, work, origin) if has["a"] else None
    for label, args, start, seek in CASES:
        label = f"{name} {label}"
        positions = [start] + ([seek] if seek is not None else [])
        lines, files = play(player, work, label, args + [path])
        if lines is None:
            continue
        video_pins, audio_pins = pins_of(lines, MEDIATYPE_VIDEO), pins_of(lines, MEDIATYPE_AUDIO)
        if not check(len(video_pins) == has["v"] and len(audio_pins) == has["a"], f"{label}: pins {video_pins} "
                                                                                  f"{audio_pins}"):
            continue
        for pin, track, check_track, ending in ((video_pins, video, check_video, video_ending),
                                                (audio_pins, audio, check_audio, ".aac")):
            if not track:
                continue
            runs = runs_of(lines, pin[0])
            check(len(runs) == len(positions), f"{label}: {len(runs)} runs of {pin[0]}, want {len(positions)}")
            check_track(label, track, runs, files.get(ending), positions)
            if positions == [None] and runs:
                got = min(e["start"] for r in runs for e in r) / 1e7
                check(abs(got - track.earliest) <= 0.001, f"{label}: the {pin[0]} pin's earliest stamp is "
                                                          f"{got:.6f} s, ffprobe's {track.earliest:.6f} s")
        if positions == [None]:
            check_words(label, video, audio, lines)
            if video_ending == ".hevc":
                check_whole_stamps(label, video, lines, video_pins[0])


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
    for label, args, start, seek in CASES:
        label = f"{name} {label}"
        lines, files = play(player, work, label, args + [path])
        if lines is None:
            continue
        video_pins, audio_pins = pins_of(lines, MEDIATYPE_VIDEO), pins_of(lines, MEDIATYPE_AUDIO)
        if not check(len(video_pins) == 1 and len(audio_pins) == has_audio and extension in files,
                     f"{label}: pins {video_pins} {audio_pins}, dumped {sorted(files)}, want a {extension}"):
            continue
        runs = [hashes(r) for r in runs_of(lines, video_pins[0])]
        run_count = 1 if seek is None else 2
        check(len(runs) == run_count, f"{label}: {len(runs)} video runs, want {run_count}")
        if has_audio:
            check(len(runs_of(lines, audio_pins[0])) == run_count, f"{label}: the audio pin's runs")
        expected = []
        for n, run_hashes in enumerate(runs):
            pictures = [index_of.get(h) for h in run_hashes]
            if not check(None not in pictures, f"{label} run {n}: samples that are no picture of the source"):
                break
            whole = pictures == list(range(pictures[0], pictures[0] + len(pictures)))
            check(whole and pictures[0] in keys, f"{label} run {n}: pictures {pictures[0]}..{pictures[-1]} "
                                                 f"not in order from a key frame")
            check(n < len(runs) - 1 or pictures[-1] == len(packets) - 1,
                  f"{label}: the last run ends at picture {pictures[-1]} of {len(packets)}")
            if n == 0:
                # From the key frame at or before the picture holding the start
                # (a start on a picture's first instant begins with that picture).
                want = 0 if start is None else max(k for k in keys if dts[k] <= start)
                check(pictures[0] == want, f"{label}: begins at picture {pictures[0]}, want {want}")
            # Display order: a picture's rank by presentation time.
            shown = sorted(pictures, key=lambda i: packets[i][1])
            expected.append([frames[rank[i]] for i in shown])
        got = frame_hashes(files[extension])
        # A run from picture 0 decodes whole. A run from a later key frame
        # loses at most the B-pictures stored right behind it (max_b_frames,
        # 2 here), which reference the picture before the key frame; every
        # other frame is the source's, in order.
        allowed = sum(2 for run_hashes in runs if index_of.get(run_hashes[0]) != 0)
        flat = [h for run_frames in expected for h in run_frames]
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
                  f"{label}: the dump's frames before and after the seek are not the source's")
            continue
        check(at <= len(flat) and len(flat) - len(got) <= allowed,
              f"{label}: the dump decodes to {len(got)} frames, want the source's {len(flat)} in order "
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
        label = f"{name} {label}"
        lines, files = play(player, work, label, args + [path])
        if lines is None:
            continue
        video_pins, audio_pins = pins_of(lines, MEDIATYPE_VIDEO), pins_of(lines, MEDIATYPE_AUDIO)
        if not check(audio_pins == ["AMR"] and len(video_pins) == has_video, f"{label}: pins {video_pins} "
                                                                             f"{audio_pins}"):
            continue
        # Samples from the one holding the instant before the start to the end.
        first = 0
        if start is not None:
            start_ticks = round(start * int(time_base[1]) / int(time_base[0]))
            first = max(i for i, (_, pts, _) in enumerate(packets) if pts < start_ticks)
        # By hash, in order: silent frames repeat the same bytes.
        delivered = hashes(samples(lines, "AMR"))
        wanted = [fnv1a(data) for data, _, _ in packets[first:]]
        mismatch = next((i for i, (a, b) in enumerate(zip(delivered, wanted)) if a != b),
                        min(len(delivered), len(wanted)))
        check(delivered == wanted, f"{label}: {len(delivered)} AMR samples, want packets {first}.."
                                   f"{len(packets) - 1}; first difference at sample {mismatch}")
        if not check(".amr" in files, f"{label}: no .amr dump: {sorted(files)}"):
            continue
        with open(files[".amr"], "rb") as f:
            dumped = f.read()
        check(dumped == b"#!AMR\n" + b"".join(data for data, _, _ in packets[first:]),
              f"{label}: the .amr dump is not the magic and the samples from {first} on")
        if start is None:
            got = pcm(files[".amr"])
            check(got == source_pcm, f"{label}: the .amr dump decodes to {len(got)} bytes of PCM, "
                                     f"the source's AMR track to {len(source_pcm)}, or to others")
            if has_video:
                got = hashes(samples(lines, video_pins[0]))
                check(got == video_hashes, f"{label}: the video pin delivered {len(got)} samples, "
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
        (PICTURE_CORPUS_SOURCES, av_media, lambda f: f.startswith("pictures_") and f.endswith(".3gp"),
         check_picture_source),
        (AMR_CORPUS_SOURCES, amr_media, lambda f: f.endswith(".3gp"), check_amr_source),
    ]
    only = os.environ.get("KELO_ONLY")  # one source's name, to rerun it alone
    for names, folder, joins, check_one in families:
        sources = [os.path.join(corpus, name) for name in names]
        if folder:
            sources += sorted(os.path.join(folder, f) for f in os.listdir(folder) if joins(f))
        for path in sources:
            name = os.path.basename(path)
            if only and name != only:
                continue
            source_work = os.path.join(work, name)
            os.makedirs(source_work, exist_ok=True)
            check_one(name, path, source_work, player)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
