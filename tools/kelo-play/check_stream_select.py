#!/usr/bin/env python3
"""What players ask the filter for, through kelo-play: its streams, a switch
of audio track while playing, and the key frames.

usage: check_stream_select.py MODULE.ax WORK_DIR KELO_PLAY_EXE [EMULATOR...]

ffmpeg makes the files here: two AAC tracks of different tones, English with
its enabled flag cleared and French enabled; the same with both enabled (the
flag set in the bytes); AAC beside AC-3; and H.264 with B-frames and key
frames at irregular times, progressive and fragmented.

- --list-streams reports each track as the file says: kind, group, LCID,
  name, and the enabled flag on the track the filter plays by default: the
  enabled one, not the first; with both enabled, the one in the interface
  language (Wine's follows LC_ALL).
- --select while running: the pin's samples before the switch are one
  track's packets from the start, after it the other track's from the one
  holding the position reached, to the end, with no gap.
  100 switches in a row: the play completes, each run between flushes is
  the packets of the track enabled then, in order.
  A track of another rate and layout: the first sample after the switch,
  and only it, carries the new media type.
- A track no pin of its kind can play (AC-3 beside the AAC pin) is listed
  and cannot be enabled.
- --key-frames: ffprobe's key packets' presentation times, counted from the
  first packet's, in both files.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../tests/graph"))
from kelo_play import (check, ffprobe, fnv1a, hashes, json_lines, kelo_play, play, player_arguments, run,  # noqa: E402
                       runs_of, source_packets, summary)

ENGLISH, FRENCH = 0x0409, 0x040C


def ffmpeg(*args):
    run(["ffmpeg", "-nostdin", "-v", "error", "-y", *args])


def make_media(work):
    tones = ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=8",
             "-f", "lavfi", "-i", "sine=frequency=660:sample_rate=48000:duration=8"]
    two = os.path.join(work, "two_languages.mp4")
    ffmpeg(*tones, "-map", "0:a", "-map", "1:a", "-c:a", "aac", "-ac", "2", "-metadata:s:a:0", "language=eng",
           "-metadata:s:a:1", "language=fra", "-disposition:a:0", "0", "-disposition:a:1", "default", two)
    # Both enabled, in the one alternate group ffmpeg gives audio: set the
    # enabled bit in the first track header's flags.
    with open(two, "rb") as f:
        data = bytearray(f.read())
    at = data.find(b"tkhd")
    data[at + 7] |= 1
    both = os.path.join(work, "both_enabled.mp4")
    with open(both, "wb") as f:
        f.write(data)
    rates = os.path.join(work, "two_rates.mp4")
    ffmpeg(*tones[:4], "-f", "lavfi", "-i", "sine=frequency=660:sample_rate=44100:duration=8", "-map", "0:a",
           "-map", "1:a", "-c:a", "aac", "-ac:a:1", "1", rates)
    ac3 = os.path.join(work, "aac_ac3.mp4")
    ffmpeg(*tones, "-map", "0:a", "-map", "1:a", "-c:a:0", "aac", "-c:a:1", "ac3", ac3)
    video = ["-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=6", "-c:v", "libx264", "-bf", "2",
             "-g", "250", "-sc_threshold", "0", "-force_key_frames", "0,0.68,2.32,2.4,5"]
    keys = os.path.join(work, "keys.mp4")
    ffmpeg(*video, keys)
    fragmented = os.path.join(work, "keys_fragmented.mp4")
    ffmpeg(*video, "-movflags", "frag_keyframe", fragmented)
    return two, both, rates, ac3, keys, fragmented


def streams(player, path, env=None):
    code, out, err = kelo_play(player, [path, "--list-streams"], env=env)
    check(code == 0, f"--list-streams {os.path.basename(path)}: exit {code}: {err}")
    return [line for line in out.splitlines() if line.startswith("stream ")]


def check_list(player, two, both, ac3):
    expected = [f'stream 0: audio, group 1, lcid 0x{ENGLISH:04x}, not enabled, "English, AAC LC 2.0, 48 kHz"',
                f'stream 1: audio, group 1, lcid 0x{FRENCH:04x}, enabled, "French, AAC LC 2.0, 48 kHz"']
    listed = streams(player, two)
    check(listed == expected, f"the list of {two}: {listed}")
    for env, enabled in (({"LC_ALL": "fr_FR.UTF-8"}, 1), ({"LC_ALL": "en_US.UTF-8"}, 0)):
        listed = streams(player, both, env)
        flags = ["not enabled" not in line for line in listed]
        check(flags == [i == enabled for i in range(2)], f"both enabled, {env}: {listed}")
    listed = streams(player, ac3)
    check(len(listed) == 2 and "not enabled" in listed[1] and "ac-3 2.0, 48 kHz" in listed[1],
          f"the AC-3 track is listed: {listed}")
    code, _, err = kelo_play(player, [ac3, "--select", "1", "--list-streams"])
    check(code == 2 and "--select 1 failed" in err, f"enabling the AC-3 track fails: exit {code}: {err}")


def as_packets(run_samples, tracks):
    """(track, first packet) when the run is consecutive packets of one track, else None."""
    first = run_samples[0]["hash"]
    for t, packets in enumerate(tracks):
        packet_hashes = [fnv1a(data) for data, _, _ in packets]
        if first in packet_hashes:
            k = packet_hashes.index(first)
            if hashes(run_samples) == packet_hashes[k:k + len(run_samples)]:
                return t, k
    return None


def check_switch(player, two, work):
    tracks = [source_packets(two, "a:0"), source_packets(two, "a:1")]
    lines, _ = play(player, work, "switch", [two, "--realtime", "--select", "0@2"])
    played = runs_of(lines or [])
    if not check(len(played) == 2, f"switch: one flush, two runs: {len(played)}"):
        return
    before, after = as_packets(played[0], tracks), as_packets(played[1], tracks)
    check(before == (1, 0), f"before the switch: French from its first packet: {before}")
    if not check(after is not None and after[0] == 0, f"after the switch: English packets: {after}"):
        return
    k = after[1]
    check(k + len(played[1]) == len(tracks[0]), "after the switch: to English's last packet")
    reached, resumed = played[0][-1]["stop"], played[1][0]["start"]
    check(resumed <= reached < played[1][0]["stop"] or resumed == reached,
          f"after the switch: from the packet holding the position reached ({resumed} for {reached})")
    check(played[1][0]["discontinuity"], "the first sample after the switch is a discontinuity")

    hundred = [arg for i in range(100) for arg in ("--select", f"{i % 2}@2")]
    code, out, err = kelo_play(player, [two, "--realtime", "--json", *hundred, "--timeout", "60"])
    check(code == 0, f"100 switches: exit {code}: {err}")
    played = runs_of(json_lines(out))
    flushes = sum(1 for line in out.splitlines() if '"begin_flush"' in line)
    check(flushes == 100, f"100 switches, each to the other track: 100 flushes: {flushes}")
    found = [as_packets(r, tracks) for r in played]
    check(all(f is not None for f in found), "100 switches: every run is one track's packets in order")
    last = found[-1]
    check(last is not None and last[0] == 1 and last[1] + len(played[-1]) == len(tracks[1]),
          f"100 switches: the last run is French to its end: {last}")


def check_type_change(player, path):
    """A track of another rate and layout: its type goes with its first sample."""
    lines, _ = play(player, os.path.dirname(path), "type change", [path, "--realtime", "--select", "1@2"])
    played = runs_of(lines or [])
    changes = [[s["type_change"] for s in r] for r in played]
    check(len(changes) == 2 and not any(changes[0]) and changes[1][0] and not any(changes[1][1:]),
          "switch to another rate: the first sample after it, alone, carries a media type")


def check_key_frames(player, path):
    """The key packets' presentation times, counted from the first packet's (in decode order)."""
    code, out, err = kelo_play(player, [path, "--key-frames"])
    if not check(code == 0, f"--key-frames {os.path.basename(path)}: exit {code}: {err}"):
        return
    times = [float(t) for t in out.split("key frame times:")[1].split()]
    info = ffprobe(path, "v", "packet=pts,flags:stream=time_base")
    num, den = map(int, info["streams"][0]["time_base"].split("/"))
    first = int(info["packets"][0]["pts"])
    expected = [(int(p["pts"]) - first) * num / den for p in info["packets"] if "K" in p["flags"]]
    check(len(times) == len(expected) and all(abs(a - b) < 1e-6 for a, b in zip(times, expected)),
          f"key frames of {os.path.basename(path)}: {times} against ffprobe's {expected}")


def main():
    _, work, player = player_arguments(__doc__, 0)
    two, both, rates, ac3, keys, fragmented = make_media(work)
    check_list(player, two, both, ac3)
    check_switch(player, two, work)
    check_type_change(player, rates)
    check_key_frames(player, keys)
    check_key_frames(player, fragmented)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
