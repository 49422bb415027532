#!/usr/bin/env python3
"""Proves kelo-play's .h264 and .aac dump writers with ffmpeg, without a filter.

usage: check_dump_writers.py WORK_DIR DUMP_WRITER_CHECK_EXE [EMULATOR...]

ffmpeg encodes small H.264 and AAC streams into MP4; ffprobe gives each
stream's decoder configuration (avcC, AudioSpecificConfig) and packet sizes,
and `-c copy -f data` their bytes. They become the samples a pin would deliver
(for H.264: SPS, PPS, then one NAL unit per sample; for AAC: one access unit
per sample), which dump-writer-check hands to the writers. Then:
- .h264: ffprobe reads codec h264 at the size encoded, and ffmpeg decodes the
  same frames (framemd5) as from the MP4, also when the samples restart at a
  key frame as after a seek;
- .aac: byte for byte what ffmpeg's own ADTS muxer writes from the MP4, also
  when the config writes its rate out or signals SBR explicitly; ffprobe reads
  the rate and channels; ADTS frame lengths hold up to the 13-bit limit;
- configs ADTS cannot carry, and truncated ones, are refused with a message;
- the media-type words agree with ffprobe's profile, level, SAR, rate and
  channel count.
"""
import os
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../tests/support"))
from check_list import check, failures, run  # noqa: E402




def ffprobe_json(path, entries, select):
    import json
    out = run(["ffprobe", "-v", "error", "-select_streams", select, "-show_entries", entries, "-of", "json", path])
    return json.loads(out)


def extradata(path, select):
    """The stream's decoder configuration from ffprobe's hex dump."""
    out = run(["ffprobe", "-v", "error", "-select_streams", select, "-show_streams", "-show_data", path], text=True)
    lines = out.splitlines()
    start = lines.index("extradata=") + 1
    data = b""
    for line in lines[start:]:
        if not line.strip():
            break
        data += bytes.fromhex(line[10:50].replace(" ", ""))
    return data


def packets(path, select):
    """Each packet's bytes, in decode order."""
    sizes = [int(p["size"]) for p in ffprobe_json(path, "packet=size", select)["packets"]]
    joined = run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:" + select, "-c", "copy",
                  "-f", "data", "-"])
    assert sum(sizes) == len(joined), (sum(sizes), len(joined))
    out, at = [], 0
    for size in sizes:
        out.append(joined[at:at + size])
        at += size
    return out


def samples_file(path, samples):
    with open(path, "wb") as f:
        for s in samples:
            f.write(struct.pack("<I", len(s)) + s)


class Writer:
    def __init__(self, work, exe, emulator):
        self.work, self.exe, self.emulator = work, exe, emulator

    def run(self, kind, name, fmt, samples):
        """Runs the writer; (exit status, words, stderr, dump bytes or None, dump path)."""
        fmt_path = os.path.join(self.work, name + ".format")
        smp_path = os.path.join(self.work, name + ".samples")
        out = os.path.join(self.work, name + (".h264" if kind == "avc" else ".aac"))
        with open(fmt_path, "wb") as f:
            f.write(fmt)
        samples_file(smp_path, samples)
        if os.path.exists(out):
            os.remove(out)
        done = subprocess.run(self.emulator + [self.exe, kind, fmt_path, smp_path, out], capture_output=True,
                              timeout=120)
        dump = open(out, "rb").read() if os.path.exists(out) else None
        return (done.returncode, done.stdout.decode("utf-8", "replace").strip(),
                done.stderr.decode("utf-8", "replace"), dump, out)


# ---- H.264 ----

def vih2(width, height, aspect, frame_time):
    """A VIDEOINFOHEADER2: rcSource, rcTarget, rates, AvgTimePerFrame, flags,
    picture aspect ratio, control flags, reserved, BITMAPINFOHEADER."""
    header = struct.pack("<4i4iIIq", 0, 0, width, height, 0, 0, width, height, 0, 0, frame_time)
    header += struct.pack("<6I", 0, 0, aspect[0], aspect[1], 0, 0)
    header += struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0x31637661, 0, 0, 0, 0, 0)
    assert len(header) == 112
    return header


def avc_samples(avcc, access_units):
    """SPS and PPS from the avcC, then every NAL unit of the access units."""
    length_size = (avcc[4] & 3) + 1
    out, at = [], 6
    for count_bits in (0x1f, 0xff):
        count = avcc[at - 1] & count_bits
        for _ in range(count):
            size = struct.unpack(">H", avcc[at:at + 2])[0]
            out.append(avcc[at + 2:at + 2 + size])
            at += 2 + size
        at += 1
    units = []
    for au in access_units:
        pos = 0
        while pos < len(au):
            size = int.from_bytes(au[pos:pos + length_size], "big")
            units.append(au[pos + length_size:pos + length_size + size])
            pos += length_size + size
    return out, units


def framemd5(path, *pre):
    out = run(["ffmpeg", "-nostdin", "-v", "error", *pre, "-i", path, "-map", "0:v", "-vsync", "passthrough",
               "-f", "framemd5", "-"], text=True)
    return [line.split(",")[-1].strip() for line in out.splitlines() if line and not line.startswith("#")]


H264_CASES = [
    # (name, size, extra ffmpeg arguments)
    ("square", "176x144", []),
    ("anamorphic", "320x240", ["-vf", "setsar=4/3"]),
    ("odd_size", "98x62", ["-profile:v", "main"]),
]


def check_h264(writer, work):
    for name, size, extra in H264_CASES:
        source = os.path.join(work, name + ".mp4")
        run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", f"testsrc=size={size}:rate=25",
             "-frames:v", "30", *extra, "-c:v", "libx264", "-bf", "2", "-g", "10", "-keyint_min", "10",
             "-sc_threshold", "0", "-pix_fmt", "yuv420p", source])
        info = ffprobe_json(source, "stream=width,height,profile,level,sample_aspect_ratio,display_aspect_ratio,"
                                    "r_frame_rate", "v")["streams"][0]
        width, height = info["width"], info["height"]
        dar = tuple(int(x) for x in info["display_aspect_ratio"].split(":"))
        num, den = (int(x) for x in info["r_frame_rate"].split("/"))
        avcc = extradata(source, "v")
        parameter_sets, units = avc_samples(avcc, packets(source, "v"))
        fmt = vih2(width, height, dar, 10_000_000 * den // num) + avcc + b"\0\0"
        reference = framemd5(source, "-ignore_editlist", "1")
        check(len(reference) == 30, f"h264 {name}: ffmpeg decodes {len(reference)} frames of the source")

        code, words, err, dump, out = writer.run("avc", name, fmt, parameter_sets + units)
        if not check(code == 0 and dump, f"h264 {name}: exit {code}; {err}"):
            continue
        check(dump.count(b"\0\0\0\1") >= len(parameter_sets) + len(units) and dump.startswith(b"\0\0\0\1"),
              f"h264 {name}: start codes missing")
        got = ffprobe_json(out, "stream=codec_name,width,height", "v")["streams"][0]
        check((got["codec_name"], got["width"], got["height"]) == ("h264", width, height),
              f"h264 {name}: ffprobe reads {got}")
        check(framemd5(out) == reference, f"h264 {name}: the dump decodes to other frames")
        level = int(info["level"])
        want = (f"H.264 video, {width}x{height}, SAR {info['sample_aspect_ratio']}, {info['profile']} profile, "
                f"level {level // 10}.{level % 10}, {num / den:.3f} fps")
        check(words == want, f"h264 {name}: words '{words}', want '{want}'")

    # After a seek the pin starts again with SPS and PPS at a key frame: the
    # dump holds both runs, and decodes to both runs' frames.
    source = os.path.join(work, "square.mp4")
    avcc = extradata(source, "v")
    aus = packets(source, "v")
    keys = [i for i, p in enumerate(ffprobe_json(source, "packet=flags", "v")["packets"]) if "K" in p["flags"]]
    parameter_sets, first_run = avc_samples(avcc, aus)
    _, second_run = avc_samples(avcc, aus[keys[1]:])
    fmt = vih2(176, 144, (11, 9), 400_000) + avcc + b"\0\0"
    code, _, err, dump, out = writer.run("avc", "seeked", fmt, parameter_sets + first_run + parameter_sets + second_run)
    if check(code == 0 and dump, f"h264 seeked: exit {code}; {err}"):
        reference = framemd5(source, "-ignore_editlist", "1")
        # Display order: the frames from the key frame on are the last ones
        # of the reference, since the GOPs are closed.
        want = reference + reference[keys[1]:]
        check(framemd5(out) == want, f"h264 seeked: the dump decodes to other frames")

    # Empty samples carry no NAL unit and add nothing.
    code, _, err, dump2, _ = writer.run("avc", "with_empty", fmt, [b""] + parameter_sets + [b""] + first_run)
    code1, _, _, dump1, _ = writer.run("avc", "without_empty", fmt, parameter_sets + first_run)
    check(code == 0 and code1 == 0 and dump1 == dump2, f"h264 empty samples: exit {code}; {err}")


# ---- AAC ----

def waveformatex(channels, rate, asc):
    return struct.pack("<HHIIHHH", 0x00FF, channels, rate, 0, 0, 16, len(asc)) + asc


class Bits:
    def __init__(self):
        self.value, self.count = 0, 0

    def put(self, bits, value):
        self.value, self.count = self.value << bits | value, self.count + bits
        return self

    def bytes(self):
        pad = -self.count % 8
        return (self.value << pad).to_bytes((self.count + pad) // 8, "big")


AAC_CASES = [
    # (name, rate, channels)
    ("stereo_44100", 44100, 2),
    ("mono_8000", 8000, 1),
    ("surround_48000", 48000, 6),
]


def check_aac(writer, work):
    for name, rate, channels in AAC_CASES:
        source = os.path.join(work, name + ".m4a")
        run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
             f"sine=frequency=440:sample_rate={rate}:duration=1", "-ac", str(channels), "-c:a", "aac",
             "-b:a", "64k", source])
        reference_path = os.path.join(work, name + ".ref.aac")
        run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", source, "-c", "copy", "-f", "adts", reference_path])
        reference = open(reference_path, "rb").read()
        asc = extradata(source, "a")
        aus = packets(source, "a")
        info = ffprobe_json(source, "stream=profile,sample_rate,channels", "a")["streams"][0]

        code, words, err, dump, out = writer.run("aac", name, waveformatex(channels, rate, asc), aus)
        if check(code == 0 and dump is not None, f"aac {name}: exit {code}; {err}"):
            check(dump == reference, f"aac {name}: the dump differs from ffmpeg's ADTS")
            got = ffprobe_json(out, "stream=codec_name,sample_rate,channels", "a")["streams"][0]
            check((got["codec_name"], int(got["sample_rate"]), got["channels"]) == ("aac", rate, channels),
                  f"aac {name}: ffprobe reads {got}")
            want = f"AAC {info['profile']} audio, {info['sample_rate']} Hz, {info['channels']} channel" + \
                   ("s" if info["channels"] != 1 else "")
            check(words == want, f"aac {name}: words '{words}', want '{want}'")

        # The same stream under other spellings of its config, and configs
        # ADTS cannot carry. (object type 5 bits, frequency index 4, channels 4)
        index = asc[0] << 1 & 0x1e | asc[1] >> 7
        config = asc[1] >> 3 & 0xf
        spelled = [
            ("rate_written_out", Bits().put(5, 2).put(4, 15).put(24, rate).put(4, config).bytes(), True),
            # explicit SBR: type 5, the core's index, channels, the extension's index, then the core's type
            ("explicit_sbr", Bits().put(5, 5).put(4, index).put(4, config).put(4, max(index - 3, 0)).put(5, 2).bytes(),
             True),
            ("escaped_type", Bits().put(5, 31).put(6, 10).put(4, index).put(4, config).bytes(), False),
            ("channels_in_pce", Bits().put(5, 2).put(4, index).put(4, 0).put(3, 0).bytes(), False),
            ("sbr_over_escape", Bits().put(5, 5).put(4, index).put(4, config).put(4, 3).put(5, 31).put(6, 10).bytes(),
             False),
        ]
        for variant, variant_asc, accepted in spelled:
            code, _, err, dump, _ = writer.run("aac", f"{name}_{variant}", waveformatex(channels, rate, variant_asc),
                                               aus)
            if accepted:
                check(code == 0 and dump == reference, f"aac {name} {variant}: exit {code}, same bytes "
                      f"{dump == reference}; {err}")
            else:
                check(code == 3 and dump is None and "ADTS cannot carry" in err,
                      f"aac {name} {variant}: exit {code}; {err}")

    check_aac_refusals(writer)
    check_aac_frame_limit(writer, work)


def check_aac_refusals(writer):
    lc = Bits().put(5, 2).put(4, 4).put(4, 2).put(3, 0).bytes()
    cases = [
        # (what, format block, message)
        ("no config", waveformatex(2, 44100, b""), "cbSize 0"),
        ("config cut short", waveformatex(2, 44100, lc[:1]), "ends inside"),
        ("cbSize past the block", waveformatex(2, 44100, lc)[:-1], "runs past"),
        ("reserved index 13", waveformatex(2, 44100, Bits().put(5, 2).put(4, 13).put(4, 2).put(3, 0).bytes()),
         "reserved sampling frequency"),
        ("rate not in the table", waveformatex(2, 44000, Bits().put(5, 2).put(4, 15).put(24, 44000).put(4, 2).bytes()),
         "44000 Hz"),
        ("no WAVEFORMATEX", b"\xff\x00\x02\x00", "no WAVEFORMATEX"),
    ]
    for what, fmt, text in cases:
        code, _, err, dump, _ = writer.run("aac", "refused", fmt, [b"\x21\x00"])
        check(code == 3 and dump is None and text in err, f"aac {what}: exit {code}; {err}")


def check_aac_frame_limit(writer, work):
    """The 13-bit frame length: 8184 payload bytes fit (8191 with the header), 8185 do not."""
    lc = Bits().put(5, 2).put(4, 4).put(4, 2).put(3, 0).bytes()
    sizes = [1, 8184, 300]
    payloads = [bytes((i * 7 + n) & 0xff for i in range(n)) for n in sizes]
    code, _, err, dump, out = writer.run("aac", "frame_limit", waveformatex(2, 44100, lc), payloads)
    if check(code == 0 and dump, f"aac frame limit: exit {code}; {err}"):
        # ffmpeg's ADTS demuxer hands out whole frames, header included.
        got = [int(p["size"]) - 7 for p in ffprobe_json(out, "packet=size", "a")["packets"]]
        check(got == sizes, f"aac frame limit: ffprobe's frames hold {got} bytes, want {sizes}")
    code, _, err, dump, _ = writer.run("aac", "frame_too_long", waveformatex(2, 44100, lc), [bytes(8185)])
    check(code == 3 and dump is None and "too long" in err, f"aac frame past the limit: exit {code}; {err}")


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    work, exe, emulator = sys.argv[1], sys.argv[2], sys.argv[3:]
    os.makedirs(work, exist_ok=True)
    writer = Writer(work, exe, emulator)
    check_h264(writer, work)
    check_aac(writer, work)
    print(f"{len(failures)} checks failed" if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
