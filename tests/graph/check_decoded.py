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
start code) decodes to the source's pictures as above; the type's words agree
with ffprobe's size, SAR, profile and level. (Its stamps and sync points: the
pin table.)

The MPEG4 Video and AMR pins deliver each stored sample as it is: they play
the corpus' mpeg4v.mp4 (MPEG-4 Visual), h263_aac.3gp (H.263 beside AAC) and
amrnb.3gp, every pictures_*.3gp of KELO_AV_MEDIA (MPEG-4 Visual beside AAC)
and every file of KELO_AMR_MEDIA (fragmented AMR, and H.263 or MPEG-4 Visual
video with AMR, through both pins at once), whole: every pin delivers every
sample of its track as stored, in order; the .m4v (the decoder configuration,
then the pictures) or .h263 dump decodes with ffmpeg to exactly the source's
frames, and the .amr dump is the AMR storage file of the samples (the magic,
then the samples) and decodes to the same PCM as the track itself. Their
starts and seeks are the pin table's (every sample against ffprobe's packets).
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


def adts_frames(path):
    """ffmpeg's own ADTS frames of the source's access units, each split off by its 13-bit length."""
    data = run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:a", "-c", "copy", "-f", "adts", "-"])
    frames, at = [], 0
    while at + 7 <= len(data):
        length = (data[at + 3] & 3) << 11 | data[at + 4] << 3 | data[at + 5] >> 5
        frames.append(data[at:at + length])
        at += length
    return frames


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

    def __init__(self, path, origin):
        packets = source_packets(path, "a")
        self.count = len(packets)
        self.au_of_hash = {fnv1a(data): i for i, (data, _, _) in enumerate(packets)}
        self.adts_frames = adts_frames(path)
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
        last = run_aus[-1] if n < len(runs) - 1 else audio.count - 1  # the last run goes to the end
        check(run_aus == list(range(want, last + 1)),
              f"{label} audio run {n}: access units {run_aus[0]}..{run_aus[-1]}, want {want}..{last} in order")
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
    has = {kind: ffprobe(path, kind, "stream=start_time")["streams"] for kind in "va"}
    origin = ORIGINS.get(name, min(float(s["start_time"]) for kind in "va" for s in has[kind]))  # stream time 0
    video = Video(path, origin) if has["v"] else None
    audio = Audio(path, origin) if has["a"] else None
    for label, args, start, seek in CASES:
        label = f"{name} {label}"
        positions = [start] + ([seek] if seek is not None else [])
        lines, files = play(player, work, label, args + [path])
        if lines is None:
            continue
        video_pins, audio_pins = pins_of(lines, MEDIATYPE_VIDEO), pins_of(lines, MEDIATYPE_AUDIO)
        if not check(len(video_pins) == len(has["v"]) and len(audio_pins) == len(has["a"]),
                     f"{label}: pins {video_pins} {audio_pins}"):
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


# The pins that deliver each stored sample as it is (MPEG4 Video, AMR, and the AAC beside them), played whole:
# every sample of every track in order, and the picture (.m4v, .h263) or .amr dump decodes to the source's own
# pictures or PCM; the .amr dump is the AMR storage file of the samples. Starts and seeks of these pins: the pin
# table, against ffprobe's packets.
DUMPS = {"mpeg4": ".m4v", "h263": ".h263", "amr_nb": ".amr"}
STORED_CORPUS_SOURCES = ["mpeg4v.mp4", "h263_aac.3gp", "amrnb.3gp"]


def check_stored_source(name, path, work, player):
    lines, files = play(player, work, f"{name} whole", [path])
    if lines is None:
        return
    for kind, major in (("v", MEDIATYPE_VIDEO), ("a", MEDIATYPE_AUDIO)):
        streams, pins = ffprobe(path, kind, "stream=codec_name")["streams"], pins_of(lines, major)
        if not check(len(pins) == len(streams), f"{name}: pins {pins} for {len(streams)} {kind} tracks") or not pins:
            continue
        stored = [data for data, _, _ in source_packets(path, kind)]
        got = hashes(samples(lines, pins[0]))
        check(got == [fnv1a(data) for data in stored],
              f"{name}: the {pins[0]} pin delivered {len(got)} samples, want the source's {len(stored)} as stored")
        codec = streams[0]["codec_name"]
        if codec not in DUMPS:
            continue
        dump = files.get(DUMPS[codec])
        if not check(dump, f"{name}: no {DUMPS[codec]} dump: {sorted(files)}"):
            continue
        if codec == "amr_nb":
            with open(dump, "rb") as f:
                check(f.read() == b"#!AMR\n" + b"".join(stored), f"{name}: the .amr dump is not the magic and the samples")
            check(pcm(dump) == pcm(path, "-ignore_editlist", "1"), f"{name}: the .amr dump decodes to other PCM")
        else:
            got, want = frame_hashes(dump), frame_hashes(path, "-ignore_editlist", "1")
            check(got == want, f"{name}: the {DUMPS[codec]} dump decodes to {len(got)} frames, want the source's "
                               f"{len(want)}, or to others")


def main():
    (corpus,), work, player = player_arguments(__doc__, 1)
    av_media = os.environ.get("KELO_AV_MEDIA", "")
    amr_media = os.environ.get("KELO_AMR_MEDIA", "")
    # Per pin family: its corpus files, the fixture files that join them, and its check.
    families = [
        (CORPUS_SOURCES, av_media, lambda f: f.startswith("decode_") and f.endswith(".mp4"), check_source),
        ([], av_media, lambda f: f.startswith("hevc_") and f.endswith((".mp4", ".mov")),
         lambda name, path, work, player: check_source(name, path, work, player, video_ending=".hevc")),
        (STORED_CORPUS_SOURCES, av_media, lambda f: f.startswith("pictures_") and f.endswith(".3gp"),
         check_stored_source),
        ([], amr_media, lambda f: f.endswith(".3gp"), check_stored_source),
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
