#!/usr/bin/env bash
# Writes the media files that the integration tests read into the folder
# given as the first argument (CTest runs this natively, as the test
# "make_media", before any test that needs the "media" fixture; the tests
# find the folder in KIVO_TEST_MEDIA). Files are written anew on every run,
# so a changed recipe always takes effect.
#
# To add a file: one more `make NAME ffmpeg-arguments...` line below; the
# output name goes last and its extension chooses the container.
set -euo pipefail
out=${1:?usage: make-media.sh OUTPUT_FOLDER}
mkdir -p "$out"

make() {
  local name=$1
  shift
  if ! ffmpeg -nostdin -hide_banner -loglevel error -y "$@" "$out/$name"; then
    rm -f "$out/$name"
    echo "make-media.sh: could not write $name" >&2
    exit 1
  fi
}

# 50 frames of uncompressed 160x120 RGB24 video at 25 frames per second
# (2 s), no audio.
make video-rgb24.avi -f lavfi -i testsrc=size=160x120:rate=25 -frames:v 50 \
  -c:v rawvideo -pix_fmt bgr24

# The file graph's media: uncompressed bottom-up BGR24 AVI, as the AVI
# splitter reads it without a decoder, at two sizes and rates.
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
make mpeg2_program.mpg -f lavfi -i testsrc=size=160x120:rate=25 -frames:v 10 \
  -c:v mpeg2video -f vob

# Broken and unusual files.
: >"$out/empty.avi"
head -c 4000 "$out/rgb24_160x120_10fps_20f.avi" >"$out/truncated.avi"
head -c 65536 /dev/urandom >"$out/random.avi"
cp "$out/rgb24_160x120_10fps_20f.avi" "$out/vidéo_ünïcode.avi"

echo "make-media.sh: media files written to $out"
