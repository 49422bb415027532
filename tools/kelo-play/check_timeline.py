#!/usr/bin/env python3
"""Checks kelo-play's --timeline picture against the same play's --json record.

usage: check_timeline.py CORPUS_DIR MODULE.ax WORK_DIR KELO_PLAY_EXE [EMULATOR...]

Plays the corpus' twos16.mov (H.264 video and big-endian PCM audio: two pins)
through the module with a seek while running, then parses the SVG with
Python's XML parser (it must be well-formed) and checks, per pin, one bar per
delivered sample in delivery order, bar heights in proportion to the sample
sizes, bar positions linear in media time (the segment start plus the sample's
start), one key-frame bar per sync point, one mark per discontinuity, one
dashed line per new segment, one line per flush and one arrival point per
sample, rising in delivery order. Then the error paths: no value, and a folder that does not exist.
"""
import json
import os
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../tests/graph"))
from kelo_play import check, kelo_play, player_arguments, summary  # noqa: E402

SVG = "{http://www.w3.org/2000/svg}"
SECOND = 10_000_000


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


def main():
    (corpus,), work, player = player_arguments(__doc__, 1)
    source = os.path.join(corpus, "twos16.mov")
    svg = os.path.join(work, "timeline.svg")
    if os.path.exists(svg):
        os.remove(svg)

    # --realtime so that the one-second file cannot end before the seek comes, however busy the machine.
    code, out, err = kelo_play(player, ["--json", "--realtime", "--seek-at", "0.5:0.2", "--timeline", svg, source])
    check(code == 0, f"the play ends complete (exit {code}): {err[-400:]}")
    lines = [json.loads(ln) for ln in out.splitlines() if ln.startswith("{")]
    pins = pin_records(lines)
    check(len(pins) == 2, f"two pins played, found {list(pins)}")
    try:
        root = ET.parse(svg).getroot()
    except (ET.ParseError, OSError) as error:
        check(False, f"the timeline is well-formed XML: {error}")
        return summary()
    check(root.tag == SVG + "svg", f"the root is an SVG element, found {root.tag}")
    for name, events in pins.items():
        check(any(e["kind"] == "begin_flush" for e in events), f"{name}: the seek flushed it")
        check_pin(root, name, events)

    # Error paths: the option needs a value; an unwritable path is exit 5 with a message.
    code, _, _ = kelo_play(player, [source, "--timeline"])
    check(code == 1, f"--timeline without a value: exit 1, got {code}")
    nowhere = os.path.join(work, "no-such-folder", "t.svg")
    code, _, err = kelo_play(player, ["--timeline", nowhere, source])
    check(code == 5, f"--timeline into a missing folder: exit 5, got {code}")
    check("--timeline" in err, "the failure names --timeline")
    check(not os.path.exists(nowhere), "nothing was written there")
    return summary()


if __name__ == "__main__":
    sys.exit(main())
