#!/usr/bin/env bash
# Makes small H.264, HEVC, MPEG-4 Visual and AAC files with ffmpeg and writes
# OUTDIR/reference.tsv: per file the avcC or hvcC record or the ES descriptor that
# ffmpeg stored, beside what ffprobe reports for the stream (picture size and
# sample aspect ratio; sample rate and channels). bitstream_tests parse the stored bytes and must
# agree with ffprobe.
# usage: make_reference.sh OUTDIR
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: $0 OUTDIR" >&2
  exit 2
fi
out=$1
script=${BASH_SOURCE[0]}
here=$(cd "$(dirname "$script")" && pwd)
if [ -f "$out/reference.tsv" ] && [ "$out/reference.tsv" -nt "$script" ] &&
  [ "$out/reference.tsv" -nt "$here/extract_reference.py" ]; then
  exit 0
fi
mkdir -p "$out"
rm -f "$out/reference.tsv"

ff=(ffmpeg -nostdin -hide_banner -loglevel error -y)
exact=(-threads 1 -fflags +bitexact -flags:v +bitexact -flags:a +bitexact)

# video NAME SIZE ARGS...: two frames of testsrc at SIZE through libx264.
video() {
  local name=$1 size=$2
  shift 2
  "${ff[@]}" -f lavfi -i "testsrc=size=$size:rate=25:duration=0.08" -c:v libx264 -preset veryfast "$@" \
    "${exact[@]}" -f mp4 "$out/.tmp.$name" && mv -f "$out/.tmp.$name" "$out/$name"
}
# hevc NAME SIZE ARGS...: two frames of testsrc at SIZE through libx265.
hevc() {
  local name=$1 size=$2
  shift 2
  "${ff[@]}" -f lavfi -i "testsrc=size=$size:rate=25:duration=0.08" -c:v libx265 -preset ultrafast \
    -x265-params log-level=error "$@" "${exact[@]}" -f mp4 "$out/.tmp.$name" && mv -f "$out/.tmp.$name" "$out/$name"
}
# mpeg4 NAME SIZE ARGS...: two frames of testsrc at SIZE through ffmpeg's MPEG-4 Visual encoder.
mpeg4() {
  local name=$1 size=$2
  shift 2
  "${ff[@]}" -f lavfi -i "testsrc=size=$size:rate=25:duration=0.08" -c:v mpeg4 "$@" "${exact[@]}" \
    -f mp4 "$out/.tmp.$name" && mv -f "$out/.tmp.$name" "$out/$name"
}
# audio NAME RATE CHANNELS ARGS...: a short sine through ffmpeg's AAC encoder.
audio() {
  local name=$1 rate=$2 channels=$3
  shift 3
  "${ff[@]}" -f lavfi -i "sine=frequency=440:sample_rate=$rate:duration=0.2" -c:a aac -ac "$channels" "$@" \
    "${exact[@]}" -f mp4 "$out/.tmp.$name" && mv -f "$out/.tmp.$name" "$out/$name"
}

video baseline_320x240.mp4 320x240 -profile:v baseline -pix_fmt yuv420p
video main_1280x720.mp4 1280x720 -profile:v main -pix_fmt yuv420p
video high_sar43_1440x1080.mp4 1440x1080 -vf setsar=4/3 -pix_fmt yuv420p
video high_sar1011_720x480.mp4 720x480 -vf setsar=10/11 -pix_fmt yuv420p
video high_sar4033_720x480.mp4 720x480 -vf setsar=40/33 -pix_fmt yuv420p
video high_sar57_720x576.mp4 720x576 -vf setsar=5/7 -pix_fmt yuv420p
video high_vui_hrd_640x360.mp4 640x360 -pix_fmt yuv420p -b:v 400k -maxrate 400k -bufsize 800k \
  -x264-params "nal-hrd=cbr:colorprim=bt709:transfer=bt709:colormatrix=bt709:fullrange=on:chromaloc=1:overscan=show:videoformat=pal"
video high_cqm_352x288.mp4 352x288 -pix_fmt yuv420p -x264-params cqm=jvt
video high_interlaced_720x576.mp4 720x576 -pix_fmt yuv420p -x264-params interlaced=1 -vf setsar=16/15
video high10_320x240.mp4 320x240 -pix_fmt yuv420p10le
video high422_320x240.mp4 320x240 -pix_fmt yuv422p
video crop_322x242.mp4 322x242 -pix_fmt yuv420p

hevc hevc_main_320x240.mp4 320x240 -pix_fmt yuv420p
hevc hevc_main10_sar43_1440x1080.mp4 1440x1080 -pix_fmt yuv420p10le -vf setsar=4/3
hevc hevc_crop_sar1011_322x242.mp4 322x242 -pix_fmt yuv420p -vf setsar=10/11
hevc hevc_422_10_sar4033_720x480.mp4 720x480 -pix_fmt yuv422p10le -vf setsar=40/33
hevc hevc_scaling_352x288.mp4 352x288 -pix_fmt yuv420p -x265-params log-level=error:scaling-list=default

mpeg4 m4v_352x288.mp4 352x288
# A loaded 64-entry intra matrix (no terminating zero) and a 16:15 pixel aspect ratio.
mpeg4 m4v_matrix_720x576.mp4 720x576 -vf setsar=16/15 -mpeg_quant 1 \
  -intra_matrix "$(seq -s, 8 71)"
mpeg4 m4v_qpel_partitioned_640x480.mp4 640x480 -flags:v +qpel -data_partitioning 1

audio aac_mono_22050.mp4 22050 1
audio aac_stereo_44100.mp4 44100 2
audio aac_51_48000.mp4 48000 6
audio aac_stereo_pce_32000.mp4 32000 2 -aac_pce 1
audio aac_51_pce_48000.mp4 48000 6 -aac_pce 1

python3 "$here/extract_reference.py" "$out" >"$out/.tmp.reference.tsv"
mv -f "$out/.tmp.reference.tsv" "$out/reference.tsv"
