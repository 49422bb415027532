#!/usr/bin/env python3
"""Runs kelo-play under Wine and checks what it reports and dumps against ffmpeg.

usage: check_kelo_play.py PCM_MEDIA_DIR CORPUS_DIR MODULE.ax WORK_DIR KELO_PLAY_EXE [EMULATOR...]

Plays the PCM media's twos16_stereo_44100.mov (16-bit big-endian stereo PCM)
through the Kelo Mervane module loaded with --module: its dump, report, options
(--start, --stop, --seek-at, --rate, --realtime) and error paths; a play that
does not end in time is a hang, a class that is not registered an error. Then a
WAVE file ffmpeg makes through Wine's own File Source (Async) and WAVE parser
(--clsid, --parser): kelo-play's graph with a parser. Every dump is checked
with ffprobe (rate, channels) and its PCM, decoded by ffmpeg, must equal
ffmpeg's decoding of the source file byte for byte.

--timeline: the corpus' twos16.mov (H.264 video and big-endian PCM audio: two
pins) plays with a seek while running; the SVG must parse with Python's XML
parser and hold, per pin, one bar per delivered sample in delivery order, bar
heights in proportion to the sample sizes, bar positions linear in media time
(the segment start plus the sample's start), one key-frame bar per sync point,
one mark per discontinuity, one dashed line per new segment, one line per flush
and one arrival point per sample, rising in delivery order.
"""
import os
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../tests/graph"))
from kelo_play import check, ffprobe, json_lines, kelo_play, pcm, play, player_arguments, run, summary  # noqa: E402

WAVE_PARSER = "{D51BD5A1-7548-11CF-A520-0080C77EF58A}"
SECOND = 10_000_000
SVG = "{http://www.w3.org/2000/svg}"


def play_json(player, *args):
    code, out, err = kelo_play(player, ["--json", *args], timeout=120)
    return code, json_lines(out), err


def play_dump(label, player, work, source):
    """The play dumps one file, a .wav with the source's rate and channels, and its PCM."""
    _, files = play(player, work, label, [source])
    dumped = files.get(".wav")
    if not check(dumped and os.listdir(os.path.dirname(dumped)) == [os.path.basename(dumped)],
                 f"{label}: expected one .wav in the dump, found {sorted(files)}"):
        return
    got, want = (ffprobe(path, "a:0", "stream=sample_rate,channels")["streams"] for path in (dumped, source))
    check(got == want, f"{label}: rate and channels {got}, want {want}")
    dumped_pcm, reference = pcm(dumped), pcm(source)
    check(dumped_pcm == reference,
          f"{label}: the dumped PCM differs from ffmpeg's ({len(dumped_pcm)} vs {len(reference)} bytes)")


def events_of(lines, kind):
    return [e for e in lines if e.get("kind") == kind]


def check_options(label, player, path, duration):
    """--start/--stop, --seek-at, --rate and --realtime reach the graph as asked."""
    code, lines, err = play_json(player, "--start", "0.25", "--stop", "0.75", path)
    segments = events_of(lines, "new_segment")
    if check(code == 0 and segments, f"{label} --start/--stop: exit {code}, {len(segments)} segments; {err}"):
        check((segments[-1]["start"], segments[-1]["stop"]) == (SECOND // 4, 3 * SECOND // 4),
              f"{label} --start/--stop: segment {segments[-1]}")
        # The samples cover the half second and none lies wholly outside it
        # (the first and last may straddle its ends: the renderer clips).
        samples = events_of(lines, "sample")
        check(samples and samples[0]["start"] <= 0 < samples[0]["stop"] and
              samples[-1]["start"] < SECOND // 2 <= samples[-1]["stop"],
              f"{label} --start/--stop: samples from {samples[:1]} to {samples[-1:]}")

    # The seek comes once the first pin has delivered up to 0.3 s; the file is
    # slowed down with --realtime so that it cannot end first.
    code, lines, err = play_json(player, "--realtime", "--seek-at", "0.3:0.6", path)
    kinds = [e["kind"] for e in lines]
    if check(code == 0 and "begin_flush" in kinds, f"{label} --seek-at: exit {code}, no flush; {err}"):
        flush = kinds.index("begin_flush")
        check(kinds[flush + 1] == "end_flush", f"{label} --seek-at: {kinds[flush:flush + 3]}")
        after = [e for e in lines[flush:] if e["kind"] == "new_segment"]
        check(after and after[0]["start"] == 6 * SECOND // 10, f"{label} --seek-at: segment after the flush {after}")
        check(kinds[-2] == "end_of_stream", f"{label} --seek-at: ends with {kinds[-3:]}")
        before = [e for e in lines[:flush] if e["kind"] == "sample"]
        check(before and before[-1]["stop"] >= 3 * SECOND // 10, f"{label} --seek-at: seeked before 0.3 s")
        result = lines[-1]
        check(result["seconds"] >= 0.9 * (duration - 0.3), f"{label} --realtime: played {result['seconds']} s")

    code, lines, err = play_json(player, "--rate", "2", path)
    segments = events_of(lines, "new_segment")
    if check(code == 0 and segments, f"{label} --rate: exit {code}; {err}"):
        check(segments[-1]["rate"] == 2, f"{label} --rate: segment {segments[-1]}")


def check_report(label, player, path, words):
    code, out, err = kelo_play(player, [path], timeout=120)
    check(code == 0, f"{label}: exit {code}; {err}")
    check(words in out, f"{label}: summary lacks '{words}':\n{out}")
    check("complete in" in out and "end of stream yes" in out, f"{label}: summary:\n{out}")
    check("still holds objects" not in err, f"{label}: {err}")

    code, lines, err = play_json(player, path)
    check(code == 0 and lines and lines[-1] == {**lines[-1], "kind": "result", "status": "complete"},
          f"{label} --json: exit {code}, last line {lines[-1:]}")
    samples = events_of(lines, "sample")
    check(samples and samples[0]["start"] == 0 and all(
        a["stop"] == b["start"] for a, b in zip(samples, samples[1:])), f"{label} --json: sample times not contiguous")
    check(events_of(lines, "pin") and events_of(lines, "pin")[0]["type"] == words,
          f"{label} --json: pin line {events_of(lines, 'pin')}")


def check_errors(player, exe, parser, work, source):
    """Every failure is a message and a documented exit status, never a crash or a hang."""
    missing = os.path.join(work, "no-such-file.mov")
    nowhere = os.path.join(work, "no-such-folder", "t.svg")
    cases = [
        # (what, kelo-play and its module or class, args, exit status, text expected on stderr)
        ("missing file", player, [missing], 2, "0x8"),
        ("no file", player, [], 1, "usage:"),
        ("unknown option", player, ["--bogus", missing], 1, "unknown option --bogus"),
        ("bad time", player, ["--start", "soon", missing], 1, "--start: not a time"),
        ("bad seek", player, ["--seek-at", "1", missing], 1, "--seek-at: expected S:T"),
        ("stop before start", player, ["--start", "2", "--stop", "1", missing], 1, "--stop comes before --start"),
        ("bad clsid", player, ["--clsid", "nope", missing], 1, "--clsid"),
        ("timeline without a value", player, [missing, "--timeline"], 1, "--timeline needs a value"),
        # A graph that does not finish in time is reported as a hang.
        ("timeout", player, ["--realtime", "--timeout", "0.5", source], 4, "hangs"),
        ("missing module", exe + ["--module", os.path.join(work, "missing.ax")], [source], 2, "cannot load the module"),
        ("unregistered class", exe + ["--clsid", "{00000000-1111-2222-3333-444444444444}"], [source], 2, "0x80040154"),
        ("parser, missing file", parser, [os.path.join(work, "no-such-file.wav")], 2, "cannot load"),
        ("timeline into a missing folder", player, ["--timeline", nowhere, source], 5, "--timeline"),
    ]
    for what, command, args, status, text in cases:
        code, _, err = kelo_play(command, args, timeout=120)
        check(code == status and text in err, f"{what}: exit {code} (want {status}), stderr: {err.strip()}")
    check(not os.path.exists(nowhere), "nothing was written into the missing folder")


def classes(element):
    return element.get("class", "").split()


def pin_records(lines):
    """Per pin name: its events in order (from the --json lines)."""
    pins = {line["pin"]: [] for line in lines if line.get("kind") == "pin"}
    for line in lines:
        if line.get("kind") not in ("pin", "result") and line.get("pin") in pins:
            pins[line["pin"]].append(line)
    return pins


def media_times(events):
    """Each sample's media start in seconds: its segment's start plus its own start."""
    segment, rate, times = 0.0, 1.0, []
    for e in events:
        if e["kind"] == "new_segment":
            segment, rate = e["start"] / SECOND, e["rate"] or 1.0
        elif e["kind"] == "sample":
            times.append(segment + rate * e["start"] / SECOND)
    return times


def check_pin(root, name, events):
    groups = [g for g in root.iter(SVG + "g") if "pin" in classes(g) and g.get("data-pin") == name]
    if not check(len(groups) == 1, f"{name}: one lane in the picture, found {len(groups)}"):
        return
    lane = groups[0]
    samples = [e for e in events if e["kind"] == "sample"]
    bars = [r for r in lane.iter(SVG + "rect") if "sample" in classes(r)]
    check(len(samples) > 0, f"{name}: the play delivered samples")
    if not check(len(bars) == len(samples), f"{name}: {len(bars)} bars for {len(samples)} delivered samples"):
        return
    check(all(("key" in classes(b)) == s["sync"] for b, s in zip(bars, samples)),
          f"{name}: the key-frame bars are the sync points, in delivery order")
    marks = [p for p in lane.iter(SVG + "path") if "discontinuity" in classes(p)]
    check(len(marks) == sum(s["discontinuity"] for s in samples),
          f"{name}: {len(marks)} discontinuity marks, {sum(s['discontinuity'] for s in samples)} in the record")
    segments = [ln for ln in lane.iter(SVG + "line") if "segment" in classes(ln)]
    check(len(segments) == sum(e["kind"] == "new_segment" for e in events), f"{name}: one line per new segment")
    flushes = [ln for ln in root.iter(SVG + "line") if "flush" in classes(ln) and ln.get("data-pin") == name]
    check(len(flushes) == sum(e["kind"] == "begin_flush" for e in events), f"{name}: one line per flush")

    # Heights: in proportion to the sizes, the largest the tallest.
    heights = [float(b.get("height")) for b in bars]
    largest = max(s["length"] for s in samples)
    tallest = max(heights)
    bad = [i for i, (h, s) in enumerate(zip(heights, samples))
           if abs(h / tallest - s["length"] / largest) > 0.002]
    check(not bad, f"{name}: bar heights out of proportion to the sizes at samples {bad[:5]}")

    # Positions: linear in media time (two distinct times fix the line).
    xs = [float(b.get("x")) for b in bars]
    times = media_times(events)
    lo, hi = times.index(min(times)), times.index(max(times))
    if check(times[hi] > times[lo], f"{name}: samples span some media time"):
        scale = (xs[hi] - xs[lo]) / (times[hi] - times[lo])
        bad = [i for i, (x, t) in enumerate(zip(xs, times)) if abs(xs[lo] + (t - times[lo]) * scale - x) > 0.05]
        check(not bad, f"{name}: bars off their media time at samples {bad[:5]}")

    dots = [g for g in root.iter(SVG + "g") if "arrivals" in classes(g) and g.get("data-pin") == name]
    points = sum(len(list(g.iter(SVG + "circle"))) for g in dots)
    check(len(dots) == 1 and points == len(samples), f"{name}: {points} arrival points for {len(samples)} samples")
    # Arrivals only grow in delivery order: up the axis, so y never increases.
    ys = [float(c.get("cy")) for g in dots for c in g.iter(SVG + "circle")]
    check(all(b <= a + 0.05 for a, b in zip(ys, ys[1:])), f"{name}: arrival points out of delivery order")


def check_timeline(player, work, source):
    svg = os.path.join(work, "timeline.svg")
    if os.path.exists(svg):
        os.remove(svg)
    # --realtime so that the one-second file cannot end before the seek comes, however busy the machine.
    code, lines, err = play_json(player, "--realtime", "--seek-at", "0.5:0.2", "--timeline", svg, source)
    check(code == 0, f"timeline: the play ends complete (exit {code}): {err[-400:]}")
    pins = pin_records(lines)
    check(len(pins) == 2, f"timeline: two pins played, found {list(pins)}")
    try:
        root = ET.parse(svg).getroot()
    except (ET.ParseError, OSError) as error:
        check(False, f"the timeline is well-formed XML: {error}")
        return
    check(root.tag == SVG + "svg", f"the timeline's root is an SVG element, found {root.tag}")
    for name, events in pins.items():
        check(any(e["kind"] == "begin_flush" for e in events), f"{name}: the seek flushed it")
        check_pin(root, name, events)


def main():
    (pcm_media, corpus), work, player = player_arguments(__doc__, 2)
    exe = player[:player.index("--module")]
    # A parser: File Source (Async) reads the file and feeds Wine's WAVE parser.
    parser = exe + ["--clsid", WAVE_PARSER, "--parser"]
    # A file with one PCM track and nothing else: the checks read one pin.
    source = os.path.join(pcm_media, "twos16_stereo_44100.mov")
    play_dump("filter twos16", player, work, source)
    check_report("filter", player, source, "PCM audio, 44100 Hz, 2 channels, 16 bits")
    check_options("filter", player, source, 3.0)
    check_errors(player, exe, parser, work, source)
    check_timeline(player, work, os.path.join(corpus, "twos16.mov"))

    wav = os.path.join(work, "s16_stereo_44100.wav")
    run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:"
         "duration=1", "-ac", "2", "-c:a", "pcm_s16le", "-fflags", "+bitexact", "-flags:a", "+bitexact", wav])
    play_dump("parser", parser, work, wav)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
