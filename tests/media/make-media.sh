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

echo "make-media.sh: media files written to $out"
