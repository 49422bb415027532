#!/usr/bin/env python3
"""Write a QuickTime movie of big-endian PCM ('twos') audio tracks.

Usage: mov_writer.py OUT.mov [--reverse-mdat] --track FIELDS [--track FIELDS ...]

  FIELDS is comma-separated key=value fields:
    pcm=FILE      raw big-endian signed PCM, channels interleaved (required)
    bits=N        8, 16 or 24 (required)
    channels=N    (required)
    rate=HZ       sample rate, stored 16.16 in the sample entry (required)
    chunk=N       frames per chunk; the last chunk holds what is left (required)
    delta=N       stts delta per frame; the media time scale is N x rate
                  (default 1)
    type=CODE     the sample entry's four-character code (default twos;
                  NONE is QuickTime's other name for the same PCM)

  --reverse-mdat  per round of chunks, write the later tracks' chunks first,
                  so the file order of the data is not the track order.

ffmpeg's mov muxer only writes 'twos' for 16 bits (8 and 24 bits become
'sowt'/'raw ' and 'in24'), so this writer makes the files the PCM pin reads:
ftyp 'qt  ', mdat, then moov with one trak per track, each holding a
version-0 sound sample entry 'twos' and one sample per audio frame (stsz
with a constant size of one frame's bytes), grouped into chunks of `chunk`
frames so that buffers of other frame counts straddle chunk boundaries.
The chunks of all tracks are interleaved in the mdat, one chunk per track
per round.
"""
import struct
import sys

MOVIE_TIME_SCALE = 1000
UNDETERMINED_LANGUAGE = 0x55C4  # ISO-639-2 "und" packed as three 5-bit letters
UNITY_MATRIX = struct.pack(">9I", 0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000)


def box(kind, *payloads):
    body = b"".join(payloads)
    return struct.pack(">I4s", 8 + len(body), kind) + body


def full_box(kind, version, flags, *payloads):
    return box(kind, struct.pack(">I", version << 24 | flags), *payloads)


class Track:
    def __init__(self, text):
        fields = dict(item.split("=", 1) for item in text.split(","))
        with open(fields["pcm"], "rb") as f:
            self.pcm = f.read()
        self.bits, self.channels, self.rate, self.chunk_frames = (
            int(fields[key]) for key in ("bits", "channels", "rate", "chunk"))
        self.delta = int(fields.get("delta", "1"))
        self.entry_type = fields.get("type", "twos").encode("ascii")
        self.frame_bytes = self.bits // 8 * self.channels
        self.frames = len(self.pcm) // self.frame_bytes
        self.chunk_offsets = []  # filled while the mdat is laid out

    def chunks(self):
        step = self.chunk_frames * self.frame_bytes
        return [self.pcm[i:i + step] for i in range(0, len(self.pcm), step)]

    def movie_duration(self):
        return self.frames * MOVIE_TIME_SCALE // self.rate


def sound_sample_entry(track):
    # Version 0 QuickTime sound description: no samples-per-packet fields;
    # compression id 0 and packet size 0 mean uncompressed.
    return box(track.entry_type,
               bytes(6), struct.pack(">H", 1),             # reserved, data reference 1
               struct.pack(">HHI", 0, 0, 0),               # version, revision, vendor
               struct.pack(">HHhH", track.channels, track.bits, 0, 0),
               struct.pack(">I", track.rate << 16))        # 16.16 fixed point


def sample_to_chunk(track):
    whole, rest = divmod(track.frames, track.chunk_frames)
    entries = [(1, track.chunk_frames)] if whole else []
    if rest:
        entries.append((whole + 1, rest))
    return full_box(b"stsc", 0, 0, struct.pack(">I", len(entries)),
                    *(struct.pack(">III", first, count, 1) for first, count in entries))


def sample_table(track):
    return box(b"stbl",
               full_box(b"stsd", 0, 0, struct.pack(">I", 1), sound_sample_entry(track)),
               full_box(b"stts", 0, 0, struct.pack(">III", 1, track.frames, track.delta)),
               sample_to_chunk(track),
               full_box(b"stsz", 0, 0, struct.pack(">II", track.frame_bytes, track.frames)),
               full_box(b"stco", 0, 0, struct.pack(">I", len(track.chunk_offsets)),
                        *(struct.pack(">I", offset) for offset in track.chunk_offsets)))


def trak(track, track_id):
    tkhd = full_box(b"tkhd", 0, 0x7,                       # enabled, in movie, in preview
                    struct.pack(">IIIII", 0, 0, track_id, 0, track.movie_duration()),
                    bytes(8), struct.pack(">hhhH", 0, 0, 0x0100, 0),  # layer, group, volume 1.0
                    UNITY_MATRIX, struct.pack(">II", 0, 0))
    mdhd = full_box(b"mdhd", 0, 0,
                    struct.pack(">IIII", 0, 0, track.rate * track.delta, track.frames * track.delta),
                    struct.pack(">HH", UNDETERMINED_LANGUAGE, 0))
    dinf = box(b"dinf", full_box(b"dref", 0, 0, struct.pack(">I", 1),
                                 full_box(b"url ", 0, 1)))  # flag 1: data in this file
    minf = box(b"minf", full_box(b"smhd", 0, 0, struct.pack(">hH", 0, 0)),
               dinf, sample_table(track))
    # QuickTime media handler: component type 'mhlr', a Pascal-string name.
    hdlr = full_box(b"hdlr", 0, 0, b"mhlr", b"soun", bytes(12), b"\x0cSoundHandler")
    return box(b"trak", tkhd, box(b"mdia", mdhd, hdlr, minf))


def moov(tracks):
    duration = max(track.movie_duration() for track in tracks)
    mvhd = full_box(b"mvhd", 0, 0,
                    struct.pack(">IIII", 0, 0, MOVIE_TIME_SCALE, duration),
                    struct.pack(">IH", 0x10000, 0x0100), bytes(10),  # rate 1.0, volume 1.0
                    UNITY_MATRIX, bytes(24), struct.pack(">I", len(tracks) + 1))
    return box(b"moov", mvhd, *(trak(track, number) for number, track in enumerate(tracks, 1)))


def write_movie(path, tracks, reverse_mdat):
    ftyp = box(b"ftyp", b"qt  ", struct.pack(">I", 0x20050300), b"qt  ")
    per_track = [track.chunks() for track in tracks]
    order = sorted(range(len(tracks)), reverse=reverse_mdat)
    payload = bytearray()
    data_start = len(ftyp) + 8  # the mdat header is 8 bytes: the file stays well under 4 GiB
    for round_index in range(max(len(chunks) for chunks in per_track)):
        for index in order:
            if round_index < len(per_track[index]):
                tracks[index].chunk_offsets.append(data_start + len(payload))
                payload += per_track[index][round_index]
    with open(path, "wb") as out:
        out.write(ftyp)
        out.write(box(b"mdat", bytes(payload)))
        out.write(moov(tracks))


def main(argv):
    tracks = [Track(argv[i + 1]) for i, arg in enumerate(argv) if arg == "--track"]
    write_movie(argv[0], tracks, "--reverse-mdat" in argv)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
