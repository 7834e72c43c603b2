#!/usr/bin/env bash
# Writes the media corpus that kivo-corpus reads (the test "it_corpus") into
# the folder given as the first argument, anew on every run:
#
# - valid/: tiny files (64x48, half a second) of every container and codec
#   that this machine's ffmpeg can write; those it cannot are skipped.
# - mutated/: one small AVI with audio and one small WAV, each broken
#   systematically: every header chunk and list given the size 0, 0xFFFFFFFF
#   and one byte past the end of the file, bytes of its id, size and data
#   inverted, and the file cut at each chunk boundary.
# - other/: files that are no media at all.
#
# To add a valid file: one more `make NAME ffmpeg-arguments...` line; the
# output name goes last and its extension chooses the container.
set -uo pipefail
out=${1:?usage: make-corpus.sh OUTPUT_FOLDER}
rm -rf "$out"
mkdir -p "$out/valid" "$out/mutated" "$out/other"

video=(-f lavfi -i testsrc=size=64x48:rate=10)
sound=(-f lavfi -i sine=frequency=440:sample_rate=8000)
written=0
skipped=()

# make NAME ARGS...: writes valid/NAME, 5 frames and/or half a second.
make() {
  local name=$1
  shift
  if ffmpeg -nostdin -hide_banner -loglevel error -y "$@" -t 0.5 "$out/valid/$name" \
    2>/dev/null; then
    written=$((written + 1))
  else
    rm -f "$out/valid/$name"
    skipped+=("$name")
  fi
}
# video_file NAME VIDEO-CODEC-ARGS...: video only.
video_file() {
  local name=$1
  shift
  make "$name" "${video[@]}" "$@"
}
# av_file NAME VIDEO-CODEC-ARGS... -- AUDIO-CODEC-ARGS...: video and sound.
av_file() {
  local name=$1 args=()
  shift
  while [ "$1" != "--" ]; do args+=("$1"); shift; done
  shift
  make "$name" "${video[@]}" "${sound[@]}" "${args[@]}" "$@"
}
# audio_file NAME AUDIO-CODEC-ARGS...: sound only.
audio_file() {
  local name=$1
  shift
  make "$name" "${sound[@]}" "$@"
}

# AVI: uncompressed video in several layouts, the codecs of the VfW era, and
# sound in the formats an AVI carries.
av_file avi_rgb24_pcm.avi -c:v rawvideo -pix_fmt bgr24 -- -c:a pcm_s16le
video_file avi_rgb24.avi -c:v rawvideo -pix_fmt bgr24
video_file avi_rgb32.avi -c:v rawvideo -pix_fmt bgra
video_file avi_yuy2.avi -c:v rawvideo -pix_fmt yuyv422
video_file avi_i420.avi -c:v rawvideo -pix_fmt yuv420p
video_file avi_pal8.avi -c:v rawvideo -pix_fmt pal8
av_file avi_mjpeg_pcm.avi -c:v mjpeg -- -c:a pcm_u8
video_file avi_mpeg4_xvid.avi -c:v mpeg4 -vtag XVID
video_file avi_mpeg4_fmp4.avi -c:v mpeg4
video_file avi_msmpeg4v3.avi -c:v msmpeg4
video_file avi_wmv1.avi -c:v wmv1
video_file avi_h264.avi -c:v libx264 -pix_fmt yuv420p
video_file avi_huffyuv.avi -c:v huffyuv
video_file avi_ffv1.avi -c:v ffv1
video_file avi_msvideo1.avi -c:v msvideo1
video_file avi_cinepak.avi -c:v cinepak
video_file avi_png.avi -c:v png
av_file avi_mpeg2_mp3.avi -c:v mpeg2video -- -c:a libmp3lame
av_file avi_rgb24_adpcm_ms.avi -c:v rawvideo -pix_fmt bgr24 -- -c:a adpcm_ms
av_file avi_rgb24_ima.avi -c:v rawvideo -pix_fmt bgr24 -- -c:a adpcm_ima_wav
av_file avi_rgb24_ac3.avi -c:v rawvideo -pix_fmt bgr24 -- -c:a ac3

# WAV: PCM of every sample format and channel count a host meets, and the
# compressed formats a WAV can carry.
audio_file wav_s16_mono.wav -c:a pcm_s16le -ac 1
audio_file wav_s16_stereo.wav -c:a pcm_s16le -ac 2
audio_file wav_s16_6ch.wav -c:a pcm_s16le -ac 6
audio_file wav_s24.wav -c:a pcm_s24le
audio_file wav_f32.wav -c:a pcm_f32le
audio_file wav_u8.wav -c:a pcm_u8
audio_file wav_alaw.wav -c:a pcm_alaw
audio_file wav_mulaw.wav -c:a pcm_mulaw
audio_file wav_adpcm_ms.wav -c:a adpcm_ms
audio_file wav_ima.wav -c:a adpcm_ima_wav
audio_file wav_gsm_ms.wav -c:a libgsm_ms
audio_file wav_mp3.wav -c:a libmp3lame

# Other containers.
av_file mp4_h264_aac.mp4 -c:v libx264 -pix_fmt yuv420p -- -c:a aac
av_file mov_mjpeg_pcm.mov -c:v mjpeg -- -c:a pcm_s16le
video_file mov_qtrle.mov -c:v qtrle
av_file mkv_h264_vorbis.mkv -c:v libx264 -pix_fmt yuv420p -- -c:a libvorbis
av_file webm_vp8_vorbis.webm -c:v libvpx -- -c:a libvorbis
av_file webm_vp9_opus.webm -c:v libvpx-vp9 -- -c:a libopus -ar 48000
av_file ogg_theora_vorbis.ogv -c:v libtheora -- -c:a libvorbis
audio_file ogg_vorbis.ogg -c:a libvorbis
audio_file opus.opus -c:a libopus -ar 48000
av_file flv_flv1_mp3.flv -c:v flv -- -c:a libmp3lame -ar 22050
av_file asf_wmv2_wma.asf -c:v wmv2 -- -c:a wmav2
av_file mpg_mpeg1_mp2.mpg -c:v mpeg1video -r 25 -- -c:a mp2
av_file vob_mpeg2_mp2.vob -c:v mpeg2video -- -c:a mp2
av_file ts_mpeg2_mp2.ts -c:v mpeg2video -- -c:a mp2
av_file ts_h264_aac.ts -c:v libx264 -pix_fmt yuv420p -- -c:a aac
audio_file mp3.mp3 -c:a libmp3lame
audio_file flac.flac -c:a flac
audio_file m4a_aac.m4a -c:a aac
audio_file aiff.aiff -c:a pcm_s16be

# The mutations, and files that are no media.
python3 - "$out" "$out/valid/avi_rgb24_pcm.avi" "$out/valid/wav_s16_mono.wav" <<'PY'
import os, struct, sys

out, avi_path, wav_path = sys.argv[1:4]
# The chunks and lists whose sizes and bytes are mutated, at their first
# occurrence (the second stream list of an AVI is broken as the first is).
AVI_CHUNKS = [b"RIFF", b"hdrl", b"avih", b"strl", b"strh", b"strf", b"movi", b"idx1"]
WAV_CHUNKS = [b"RIFF", b"fmt ", b"data"]
# Chunks whose data is a header: a byte in its middle is inverted too.
HEADER_DATA = [b"avih", b"strh", b"strf", b"fmt "]


def chunks(data, start, end):
    """Every chunk and list from start to end, depth first, as
    (name, offset, data size): a list is named by its type, RIFF by "RIFF".
    The movi list's frames are not entered."""
    found = []
    while start + 8 <= end:
        ident = data[start:start + 4]
        size = struct.unpack_from("<I", data, start + 4)[0]
        if ident in (b"RIFF", b"LIST"):
            kind = data[start + 8:start + 12]
            found.append((b"RIFF" if ident == b"RIFF" else kind, start, size))
            if kind != b"movi":
                found += chunks(data, start + 12, min(end, start + 8 + size))
        else:
            found.append((ident, start, size))
        start += 8 + size + (size & 1)
    return found


def write(name, data):
    with open(os.path.join(out, "mutated", name), "wb") as f:
        f.write(bytes(data))


def mutate(path, prefix, extension, wanted):
    data = open(path, "rb").read()
    cuts = set()
    for name, at, size in chunks(data, 0, len(data)):
        if name not in wanted:
            continue
        wanted = [w for w in wanted if w != name]
        label = prefix + "_" + name.decode().strip()
        past_end = len(data) - (at + 8) + 1
        for value, tag in ((0, "size0"), (0xFFFFFFFF, "sizeffffffff"), (past_end, "sizepastend")):
            mutated = bytearray(data)
            struct.pack_into("<I", mutated, at + 4, value)
            write("%s_%s.%s" % (label, tag, extension), mutated)
        # The id's first byte, the size's low byte, the data's (or the list
        # type's) first byte, and the middle of a header.
        flips = [at, at + 4, at + 8]
        if name in HEADER_DATA:
            flips.append(at + 8 + size // 2)
        for offset in flips:
            mutated = bytearray(data)
            mutated[offset] ^= 0xFF
            write("%s_flip%d.%s" % (label, offset, extension), mutated)
        # Before the chunk, after its header (and a list's type), after it.
        cuts.update((at, at + 8, at + 8 + size))
        if name in (b"RIFF", b"hdrl", b"strl", b"movi"):
            cuts.add(at + 12)
    for cut in sorted(c for c in cuts if 0 < c < len(data)):
        write("%s_cut%d.%s" % (prefix, cut, extension), data[:cut])


mutate(avi_path, "avi", "avi", AVI_CHUNKS)
mutate(wav_path, "wav", "wav", WAV_CHUNKS)

other = os.path.join(out, "other")
random = bytes((i * 1103515245 + 12345) >> 16 & 0xFF for i in range(65536))
for name, content in (("empty.avi", b""), ("empty.wav", b""), ("random.avi", random),
                      ("random.wav", random), ("random.mp4", random),
                      ("text.avi", b"This is a text file named like a video.\n" * 20)):
    with open(os.path.join(other, name), "wb") as f:
        f.write(content)
PY

total=$(find "$out" -type f | wc -l)
echo "make-corpus.sh: $total files in $out ($written valid files written;" \
  "${#skipped[@]} that this ffmpeg cannot write skipped${skipped:+: ${skipped[*]}})"
# No valid file at all means no ffmpeg (or a broken one), not a small corpus.
if [ "$written" -eq 0 ]; then
  echo "make-corpus.sh: no valid file could be written" >&2
  exit 1
fi
