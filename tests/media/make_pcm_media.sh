#!/usr/bin/env bash
# Build the PCM test media of the filter's graph tests, with ffmpeg's
# references beside each 'twos' file.
#
# Usage: make_pcm_media.sh OUTDIR
#
# Files (QuickTime 'twos' = big-endian signed PCM, written by mov_writer.py
# from ffmpeg's sine sources; stereo files carry a different tone per channel):
#   twos8_mono_44100.mov        8-bit mono, 3 s, chunks of 1000 frames
#   twos8_stereo_48000.mov      8-bit stereo, 2.5 s, chunks of 777 frames
#   twos16_mono_48000.mov       16-bit mono, 2.5 s, chunks of 777 frames
#   twos16_stereo_44100.mov     16-bit stereo, 3 s, chunks of 1000 frames
#   twos24_mono_44100.mov       24-bit mono, 3 s, chunks of 777 frames
#   twos24_stereo_48000.mov     24-bit stereo, 2.05 s, chunks of 1000 frames
#     Every last chunk is partial, and 1024-frame buffers straddle chunks.
#   twos16_stereo_48000_timescale2x.mov
#                               16-bit stereo, 1 s, media time scale 96000 with
#                               an stts delta of 2 per frame: sample times are
#                               not frame numbers
#   twos_two_tracks.mov         two twos tracks: the first 16-bit stereo
#                               44100 Hz (the one to play), the second 24-bit
#                               mono 48000 Hz at another pitch; the second
#                               track's chunks come first in the mdat
#   sowt16.mov                  16-bit little-endian 'sowt' (ffmpeg's mov muxer)
#   hevc_only.mp4               HEVC video alone (libx265)
#   hevc_alac.mov               HEVC video beside ALAC audio, a kind no pin plays
#   subtitles_only.mp4          one timed-text track: a track the filter has no pin for
#   kind_*.mov                  1 s of every linear PCM kind the PCM pin plays,
#                               written by ffmpeg's mov muxer ('sowt', 'raw ',
#                               'in24', 'in32', 'fl32', 'fl64' big- and
#                               little-endian, 'lpcm' with a version 2 sound
#                               description at 96 kHz) and by mov_writer.py
#                               ('NONE'); mono, stereo and 6 channels; the
#                               name says the kind: kind_FOURCC_FORMAT_CHANNELS_RATE.mov
#   not_mp4.mp4                 plain text, not an ISO media file at all
#   empty.mp4                   zero bytes
# References, for each twos file NAME.mov:
#   NAME.pcm            ffmpeg's decode of the first audio track in the form
#                       the filter delivers: little-endian for 16 and 24
#                       bits, unsigned for 8 bits
#
# Before it finishes, the script checks that each kind_*.mov carries the sample
# entry its name says (ffmpeg's muxer picks it). Re-running is cheap: OUTDIR/.complete
# newer than this script and the writer leaves everything alone.
#
# Needs: ffmpeg and ffprobe (with libx265), python3.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 OUTDIR" >&2
    exit 2
fi
OUT=$1
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SCRIPT=$HERE/make_pcm_media.sh
WRITER=$HERE/mov_writer.py

if [ -f "$OUT/.complete" ] && [ "$OUT/.complete" -nt "$SCRIPT" ] && [ "$OUT/.complete" -nt "$WRITER" ]; then
    exit 0
fi
mkdir -p "$OUT"
rm -f "$OUT/.complete"
WORK=$(mktemp -d "$OUT/.work.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

FF=(ffmpeg -nostdin -hide_banner -loglevel error -y)
EXACT=(-threads 1 -fflags +bitexact -flags:v +bitexact -flags:a +bitexact)

# raw_pcm FILE BITS CHANNELS RATE SECONDS HZ... : one sine per channel, as raw
# big-endian signed PCM of BITS bits (8-bit PCM has no byte order).
raw_pcm() {
    local file=$1 bits=$2 channels=$3 rate=$4 seconds=$5
    shift 5
    local format=s${bits}be inputs=() labels="" i=0
    [ "$bits" = 8 ] && format=s8
    for hz in "$@"; do
        inputs+=(-f lavfi -i "sine=frequency=$hz:sample_rate=$rate:duration=$seconds")
        labels+="[$i:a]"
        i=$((i + 1))
    done
    if [ "$channels" = 1 ]; then
        "${FF[@]}" "${inputs[@]}" -c:a "pcm_$format" -f "$format" "$file"
    else
        "${FF[@]}" "${inputs[@]}" -filter_complex "${labels}join=inputs=$channels:channel_layout=stereo" \
            -c:a "pcm_$format" -f "$format" "$file"
    fi
}

# twos NAME BITS CHANNELS RATE SECONDS CHUNK FIELD HZ... : a one-track file of
# mov_writer.py, FIELD one more of its track fields (delta=N or type=CODE).
twos() {
    local name=$1 bits=$2 channels=$3 rate=$4 seconds=$5 chunk=$6 field=$7
    shift 7
    raw_pcm "$WORK/$name.raw" "$bits" "$channels" "$rate" "$seconds" "$@"
    python3 "$WRITER" "$WORK/$name.mov" \
        --track "pcm=$WORK/$name.raw,bits=$bits,channels=$channels,rate=$rate,chunk=$chunk,$field"
}

twos twos8_mono_44100 8 1 44100 3 1000 delta=1 440
twos twos8_stereo_48000 8 2 48000 2.5 777 delta=1 440 660
twos twos16_mono_48000 16 1 48000 2.5 777 delta=1 1000
twos twos16_stereo_44100 16 2 44100 3 1000 delta=1 440 660
twos twos24_mono_44100 24 1 44100 3 777 delta=1 880
twos twos24_stereo_48000 24 2 48000 2.05 1000 delta=1 330 550
twos twos16_stereo_48000_timescale2x 16 2 48000 1 777 delta=2 500 750

# Two tracks of different content; the raw of the first is the reference.
raw_pcm "$WORK/twos_two_tracks.raw" 16 2 44100 2 440 660
raw_pcm "$WORK/twos_two_tracks.second.raw" 24 1 48000 2 2000
python3 "$WRITER" "$WORK/twos_two_tracks.mov" --reverse-mdat \
    --track "pcm=$WORK/twos_two_tracks.raw,bits=16,channels=2,rate=44100,chunk=1000" \
    --track "pcm=$WORK/twos_two_tracks.second.raw,bits=24,channels=1,rate=48000,chunk=777"

# ffmpeg's own references for each twos file.
for mov in "$WORK"/twos*.mov; do
    case $mov in
        */twos8*) format=u8 ;;
        */twos24*) format=s24le ;;
        *) format=s16le ;;
    esac
    "${FF[@]}" -i "$mov" -map 0:a:0 -c:a "pcm_$format" -f "$format" "${mov%.mov}.pcm"
done

# The files that must not reach the PCM pin.
"${FF[@]}" -f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 \
    -c:a pcm_s16le -ac 2 "${EXACT[@]}" -f mov "$WORK/sowt16.mov"
"${FF[@]}" -f lavfi -i testsrc=size=160x120:rate=25:duration=1 -an -c:v libx265 -preset fast \
    -x265-params log-level=error:pools=1:frame-threads=1 -g 12 -tag:v hvc1 "${EXACT[@]}" \
    -f mp4 "$WORK/hevc_only.mp4"
"${FF[@]}" -f lavfi -i testsrc=size=160x120:rate=25:duration=3 -f lavfi -i sine=frequency=440:duration=3 \
    -c:v libx265 -preset fast -x265-params log-level=error:pools=1:frame-threads=1 -g 12 -tag:v hvc1 \
    -c:a alac "${EXACT[@]}" -f mov "$WORK/hevc_alac.mov"
printf '1\n00:00:00,000 --> 00:00:01,000\nA line of text.\n' >"$WORK/subtitles.srt"
"${FF[@]}" -i "$WORK/subtitles.srt" -c:s mov_text "${EXACT[@]}" -f mp4 "$WORK/subtitles_only.mp4"
rm -f "$WORK/subtitles.srt"

# kind_TYPE_FFMPEG-FORMAT_CHANNELS_RATE.mov: one second of a sine per file through
# ffmpeg's mov muxer, which picks the sample entry TYPE for the format.
kind() {
    local format channels rate
    IFS=_ read -r _ _ format channels rate <<<"$1"
    "${FF[@]}" -f lavfi -i "sine=frequency=440:sample_rate=$rate:duration=1" -af "pan=${channels}c|c0=c0$(
        for ((c = 1; c < channels; c++)); do printf '|c%d=%.1f*c0' "$c" "$(echo "scale=1; 1 - $c / 10" | bc)"; done)" \
        -c:a "pcm_$format" "${EXACT[@]}" -f mov "$WORK/$1.mov"
}
for name in kind_sowt_s16le_2_44100 kind_sowt_s16le_6_48000 kind_sowt_s8_1_22050 kind_raw_u8_1_44100 \
    kind_raw_u8_2_48000 kind_raw_u8_6_48000 kind_twos_s16be_6_48000 kind_in24_s24be_1_44100 kind_in24_s24be_6_48000 \
    kind_in24_s24le_2_48000 kind_in32_s32be_1_44100 kind_in32_s32be_2_48000 kind_in32_s32le_6_48000 \
    kind_fl32_f32be_1_44100 kind_fl32_f32be_2_48000 kind_fl32_f32le_6_48000 kind_fl64_f64be_1_48000 \
    kind_fl64_f64le_2_44100 kind_fl64_f64be_6_48000 kind_lpcm_s24le_2_96000 kind_lpcm_s16be_1_96000 \
    kind_lpcm_f32be_6_96000; do
    kind "$name"
done
twos kind_NONE_s16be_2_44100 16 2 44100 1 1000 type=NONE 440 660
twos kind_NONE_s16be_1_48000 16 1 48000 1 777 type=NONE 440

printf 'This is a text file, not an ISO base media file.\n' >"$WORK/not_mp4.mp4"
: >"$WORK/empty.mp4"

# The name says the kind: ffmpeg's mov muxer must have written that sample entry.
for file in "$WORK"/kind_*.mov; do
    name=$(basename "$file")
    tag=$(ffprobe -v error -show_entries stream=codec_tag_string -of csv=p=0 "$file")
    if [ "$tag" != "$(printf '%-4s' "$(echo "$name" | cut -d_ -f2)")" ]; then
        echo "make_pcm_media: $name carries '$tag'" >&2
        exit 1
    fi
done

# Publish: only checked files reach OUTDIR, then the stamp.
rm -f "$WORK"/*.raw
mv -f "$WORK"/* "$OUT"/
touch "$OUT/.complete"
