#!/usr/bin/env bash
# Makes the media files the integration tests read, with ffmpeg, into the
# folder given (default ./media). Files that exist are kept.
set -euo pipefail
out=${1:-media}
mkdir -p "$out"
cd "$out"

ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }

make() {
  local file=$1
  shift
  [ -s "$file" ] || ff "$@" "$file"
}

# Uncompressed AVI: bottom-up BGR24 frames, as the AVI splitter reads them
# without a decoder.
make rgb24_160x120_10fps_20f.avi -f lavfi -i testsrc=size=160x120:rate=10 -frames:v 20 \
  -c:v rawvideo -pix_fmt bgr24
make rgb24_320x240_25fps_50f.avi -f lavfi -i testsrc=size=320x240:rate=25 -frames:v 50 \
  -c:v rawvideo -pix_fmt bgr24
# Video with PCM audio: 2 s of 10 fps video and 22050 Hz mono 16-bit sound.
make rgb24_pcm_2s.avi -f lavfi -i testsrc=size=160x120:rate=10 -f lavfi \
  -i sine=frequency=440:sample_rate=22050 -t 2 -c:v rawvideo -pix_fmt bgr24 \
  -c:a pcm_s16le -ac 1
# 1 s of 44100 Hz mono 16-bit sound.
make tone_44100_1s.wav -f lavfi -i sine=frequency=440:sample_rate=44100 -t 1 -c:a pcm_s16le -ac 1
# Video whose decoder the test machine lacks (MPEG-4 part 2 tagged DIVX).
make divx_160x120.avi -f lavfi -i testsrc=size=160x120:rate=10 -frames:v 10 -c:v mpeg4 \
  -vtag DIVX
# An MPEG-2 program stream.
make mpeg2_program.mpg -f lavfi -i testsrc=size=160x120:rate=25 -frames:v 10 -c:v mpeg2video \
  -f vob

# Broken and unusual files.
[ -e empty.avi ] || : >empty.avi
[ -s truncated.avi ] || head -c 4000 rgb24_160x120_10fps_20f.avi >truncated.avi
[ -s random.avi ] || head -c 65536 /dev/urandom >random.avi
[ -s "vidéo_ünïcode.avi" ] || cp rgb24_160x120_10fps_20f.avi "vidéo_ünïcode.avi"
