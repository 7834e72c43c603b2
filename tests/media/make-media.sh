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

# Files whose headers lie, for the file fault tests. patch FILE CHUNK OFFSET
# VALUE writes VALUE as a little-endian 32-bit number OFFSET bytes into the
# data of the first chunk (or list) whose four-character id is CHUNK.
patch() {
  python3 - "$@" <<'PY'
import struct, sys
path, chunk, offset, value = sys.argv[1], sys.argv[2].encode(), int(sys.argv[3]), int(sys.argv[4], 0)
data = bytearray(open(path, "rb").read())
found = data.find(chunk)
if found < 0:
    sys.exit("make-media.sh: no chunk " + sys.argv[2] + " in " + path)
at = found + 8 + offset
data[at:at + 4] = struct.pack("<I", value & 0xFFFFFFFF)
open(path, "wb").write(bytes(data))
PY
}
good=$out/rgb24_160x120_10fps_20f.avi
# An RGB24 header over frame data that are the bytes of an MJPG stream.
make mjpg_160x120.avi -f lavfi -i testsrc=size=160x120:rate=10 -frames:v 20 -c:v mjpeg
python3 - "$good" "$out/mjpg_160x120.avi" "$out/rgb24_header_mjpg_body.avi" <<'PY'
import sys
good, other, target = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read(), sys.argv[3]
start = good.find(b"movi") + 4
body = other[other.find(b"movi") + 4:]
body = (body * (len(good) // len(body) + 1))[:len(good) - start]
open(target, "wb").write(good[:start] + body)
PY
# An MJPG header whose frames are raw RGB24 rows: the decoder sees no JPEG.
python3 - "$out/mjpg_160x120.avi" "$good" "$out/mjpg_header_rgb24_body.avi" <<'PY'
import sys
mjpg, raw, target = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read(), sys.argv[3]
start = mjpg.find(b"movi") + 4
body = raw[raw.find(b"movi") + 4:]
body = (body * (len(mjpg) // len(body) + 1))[:len(mjpg) - start]
open(target, "wb").write(mjpg[:start] + body)
PY
# Enormous declared frame counts, and an enormous frame size.
cp "$good" "$out/huge_frame_count.avi"
patch "$out/huge_frame_count.avi" avih 16 0x7FFFFFF0
patch "$out/huge_frame_count.avi" strh 32 0x7FFFFFF0
cp "$good" "$out/huge_frame_size.avi"
patch "$out/huge_frame_size.avi" avih 32 0x7FFFFFF
patch "$out/huge_frame_size.avi" avih 36 0x7FFFFFF
patch "$out/huge_frame_size.avi" strf 4 0x7FFFFFF
patch "$out/huge_frame_size.avi" strf 8 0x7FFFFFF
patch "$out/huge_frame_size.avi" strf 20 0xFFFFFFF0
# WAVE files: a data size far beyond the file, a header claiming 8 channels
# of 32-bit samples at 192 kHz over 16-bit mono data, an MPEG audio tag over
# PCM data, and empty, truncated and random files.
wave=$out/tone_44100_1s.wav
cp "$wave" "$out/huge_data_size.wav"
patch "$out/huge_data_size.wav" RIFF -4 0xFFFFFFF0
patch "$out/huge_data_size.wav" data 0 0xFFFFFFE0
python3 - "$wave" "$out/wrong_wave_format.wav" "$out/mp3_tag_pcm_body.wav" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
fmt = data.find(b"fmt ") + 8
wrong = bytearray(data)
struct.pack_into("<HHIIHH", wrong, fmt, 1, 8, 192000, 192000 * 32, 32, 32)
open(sys.argv[2], "wb").write(bytes(wrong))
tagged = bytearray(data)
struct.pack_into("<H", tagged, fmt, 0x0055)
open(sys.argv[3], "wb").write(bytes(tagged))
PY
: >"$out/empty.wav"
head -c 30 "$wave" >"$out/truncated_header.wav"
head -c 20000 "$wave" >"$out/truncated.wav"
head -c 65536 /dev/urandom >"$out/random.wav"
head -c 100 "$good" >"$out/truncated_header.avi"
# RIFF lists nested 80000 deep where the header list belongs.
python3 - "$out/deep_lists.avi" <<'PY'
import struct, sys
depth = 80000
data = bytearray(b"RIFF" + struct.pack("<I", depth * 12 + 4) + b"AVI ")
for level in range(depth):
    data += b"LIST" + struct.pack("<I", (depth - level) * 12 - 8) + b"hdrl"
open(sys.argv[1], "wb").write(bytes(data))
PY
# A folder named like a media file.
rm -rf "$out/a_folder.avi"
mkdir -p "$out/a_folder.avi"
# A good file at a path longer than MAX_PATH (260), in nested folders, and
# one whose folder and name are written in several scripts.
long=$out/long_path
rm -rf "$long"
for i in 1 2 3 4 5 6; do long=$long/folder_${i}_with_a_rather_long_name_for_nesting_xxxxxxxx; done
mkdir -p "$long"
cp "$good" "$long/video_at_a_path_longer_than_max_path.avi"
mkdir -p "$out/каталог_目录"
cp "$good" "$out/каталог_目录/映像_кадр_ßø.avi"

# Audio that ffmpeg writes as WAVE_FORMAT_EXTENSIBLE: 1 s of 48000 Hz
# 6-channel (5.1) 16-bit sound, alone and beside 10 fps 160x120 RGB24 video;
# 1 s of 48000 Hz stereo 24-bit and 32-bit float sound.
make pcm_6ch_48000_1s.wav -f lavfi -i sine=frequency=440:sample_rate=48000 -t 1 -ac 6 \
  -c:a pcm_s16le
make rgb24_pcm_6ch_1s.avi -f lavfi -i testsrc=size=160x120:rate=10 -f lavfi \
  -i sine=frequency=440:sample_rate=48000 -t 1 -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le -ac 6
make pcm_s24_48000_1s.wav -f lavfi -i sine=frequency=440:sample_rate=48000 -t 1 -ac 2 \
  -c:a pcm_s24le
make float_48000_1s.wav -f lavfi -i sine=frequency=440:sample_rate=48000 -t 1 -ac 2 \
  -c:a pcm_f32le

echo "make-media.sh: media files written to $out"
