#!/usr/bin/env bash
# Build the MP4/MOV/3GP test corpus from ffmpeg's synthetic sources.
#
# Usage: make_corpus.sh OUTDIR
#
# Nothing binary lives in the repo: every file is a few seconds of
# testsrc/sine at a small size, generated at test time. Re-running is cheap:
# if OUTDIR/.complete is newer than this script the corpus is left alone.
#
# Needs: ffmpeg (with libx264 and the native aac encoder), python3.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 OUTDIR" >&2
    exit 2
fi
OUT=$1
SCRIPT=${BASH_SOURCE[0]}

if [ -f "$OUT/.complete" ] && [ "$OUT/.complete" -nt "$SCRIPT" ]; then
    exit 0
fi
mkdir -p "$OUT"
rm -f "$OUT/.complete"

# Single-threaded encoders and bitexact muxing so a given ffmpeg build always
# produces byte-identical files (the thread count changes x264's output).
FF=(ffmpeg -nostdin -hide_banner -loglevel error -y)
EXACT=(-threads 1 -fflags +bitexact -flags:v +bitexact -flags:a +bitexact)

# Synthetic inputs, each good for at most 2 s (use -t to cut shorter).
VIDEO=(-f lavfi -i testsrc=size=160x120:rate=25:duration=2)
QCIF=(-f lavfi -i testsrc=size=176x144:rate=25:duration=2)  # H.263 needs a standard size
AUDIO=(-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2)

# H.264 with B-frames (so there is a ctts) and a fixed 12-frame GOP, so a
# 2 s clip has 5 sync samples. Stereo AAC-LC.
H264=(-c:v libx264 -preset fast -bf 2 -g 12 -keyint_min 12 -sc_threshold 0 -pix_fmt yuv420p)
AAC=(-c:a aac -b:a 64k -ac 2)
AV=("${VIDEO[@]}" "${AUDIO[@]}" "${H264[@]}" "${AAC[@]}")  # the H.264 and AAC movie most layouts are made of

# build NAME ARGS... : run ffmpeg ARGS into a temp name, then rename, so a
# killed run never leaves a truncated file under the final name.
build() {
    local name=$1
    shift
    local tmp="$OUT/.tmp.$name"
    "${FF[@]}" "$@" "${EXACT[@]}" "$tmp"
    mv -f "$tmp" "$OUT/$name"
}

# 1. Plain progressive MP4, moov after mdat (ffmpeg's default layout).
build h264_aac.mp4 "${AV[@]}" -f mp4

# 2. MPEG-4 Visual (mp4v + esds decoder config), video only, with B-frames.
build mpeg4v.mp4 "${VIDEO[@]}" -c:v mpeg4 -q:v 5 -bf 2 -g 12 -f mp4

# 2b. HEVC (hvc1 + hvcC with VPS/SPS/PPS arrays) with AAC.
build hevc_aac.mp4 "${VIDEO[@]}" "${AUDIO[@]}" -c:v libx265 -preset fast -x265-params log-level=error:pools=1:frame-threads=1 \
    -g 12 -tag:v hvc1 "${AAC[@]}" -f mp4

# 3. 3GP with H.263 (s263 + d263) and AAC.
build h263_aac.3gp "${QCIF[@]}" "${AUDIO[@]}" -c:v h263 -q:v 5 -g 12 "${AAC[@]}" -f 3gp

# 4. QuickTime big-endian PCM. 16-bit comes out as 'twos'; ffmpeg writes
#    24-bit as 'in24' with a version 1 sound description plus a wave box.
build twos16.mov "${VIDEO[@]}" "${AUDIO[@]}" -t 1 "${H264[@]}" \
    -c:a pcm_s16be -ar 48000 -ac 2 -f mov
build twos24.mov "${AUDIO[@]}" -t 1 -c:a pcm_s24be -ar 48000 -ac 2 -f mov

# 5. AMR-NB in 3GP (samr + damr). ffmpeg cannot encode AMR, so a raw AMR
#    storage file is written by hand (make_raw_amr.py: noise payloads in
#    valid framing, 250 frames) and remuxed by ffmpeg.
python3 "$(dirname "$SCRIPT")/make_raw_amr.py" "$OUT/.tmp.amrnb.amr" 250 4867
build amrnb.3gp -f amr -i "$OUT/.tmp.amrnb.amr" -c copy -f 3gp
rm -f "$OUT/.tmp.amrnb.amr"

# 6. Fragmented, empty moov, one moof per GOP holding an audio and a video
#    traf, and no mfra index at the end (ffmpeg writes one unless told not).
FRAG=frag_keyframe+empty_moov+default_base_moof
build frag.mp4 "${AV[@]}" -movflags "$FRAG+skip_trailer" -f mp4

# 7. Same layout, with the mfra/tfra/mfro random access index at the end.
build frag_mfra.mp4 "${AV[@]}" -movflags "$FRAG" -f mp4

# 8. Fragmented without empty_moov: the first GOP's samples are indexed by
#    the moov's sample tables (in a plain mdat), the rest come in moofs.
#    Ends with an mfra.
build frag_moov_samples.mp4 "${AV[@]}" -movflags frag_keyframe -f mp4

# 9. Progressive with moov moved in front of mdat.
build faststart.mp4 "${AV[@]}" -movflags +faststart -f mp4

# 10. Common encryption, AES-CTR ('cenc' scheme), fixed key and key id:
#     encv/enca entries with sinf, plus senc/saio/saiz in each stbl.
build cenc.mp4 "${AV[@]}" -encryption_scheme cenc-aes-ctr -encryption_key 00112233445566778899aabbccddeeff \
    -encryption_kid a7e61c373e219033c21091fa607bf3b8 -f mp4

# 11. ffmpeg's ismv (Smooth Streaming): an empty moov whose mdhd durations
#     are all ones ("unknown"), one traf per moof without tfdt, an mfra. The
#     ismv muxer stores no composition offsets in its trun boxes, so the
#     video has no B-frames: ffprobe's pts would otherwise be its own guess.
build fragments.ismv "${VIDEO[@]}" "${AUDIO[@]}" "${H264[@]}" -bf 0 "${AAC[@]}" -f ismv

# 12. A live capture's timeline: fragments whose first tfdt lies 10 hours in
#     (frag_discont keeps the packets' own times in tfdt).
build frag_late.mp4 "${AV[@]}" -output_ts_offset 36000 -avoid_negative_ts disabled -movflags "$FRAG+frag_discont" -f mp4

# 13. DASH: each stream's init segment and media segments (styp, sidx, moof,
#     mdat) joined into one file, as a player fetches them.
DASH="$OUT/.tmp.dash"
rm -rf "$DASH" && mkdir -p "$DASH"
"${FF[@]}" "${AV[@]}" "${EXACT[@]}" -seg_duration 0.48 -use_template 1 -use_timeline 0 -f dash "$DASH/stream.mpd"
for n in 0 1; do
    cat "$DASH/init-stream$n.m4s" "$DASH"/chunk-stream$n-*.m4s >"$OUT/.tmp.dash$n"
    mv -f "$OUT/.tmp.dash$n" "$OUT/frag_dash_stream$n.mp4"
done
rm -rf "$DASH"

touch "$OUT/.complete"
