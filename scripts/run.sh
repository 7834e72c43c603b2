#!/usr/bin/env bash
# The main job: installs what is missing, builds kivo, registers the KIVO Test
# Camera in the build's Wine prefix, then, as a host would, lists the capture
# devices, captures a few seconds from the Test Camera into BMP files and
# reads a media file made on the spot. Output goes to build/run/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KIVO_BUILD_DIR:-$root/build}
out="$build/run"

"$root/scripts/build.sh"

source "$root/scripts/wine-session.sh"
trap kivo_session_stop EXIT
kivo_session_start "$build"

probe() { "$build/wine-run.sh" "$build/bin/kivo-probe.exe" "$@" </dev/null; }
winpath() { echo "Z:$1" | tr '/' '\\'; }

rm -rf "$out"
mkdir -p "$out/frames" "$out/file"

echo "== kivo-probe devices"
probe devices

echo
echo "== kivo-probe capture \"KIVO Test Camera\" --seconds 3"
probe capture "KIVO Test Camera" --format YUY2_320x240 --seconds 3 --out "$(winpath "$out/frames")"

echo
echo "== a media file made with ffmpeg: 2 s of 160x120 video at 10 fps with a tone"
ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc=size=160x120:rate=10 \
  -f lavfi -i sine=frequency=440:sample_rate=22050 -t 2 -c:v rawvideo -pix_fmt bgr24 \
  -c:a pcm_s16le -ac 1 "$out/sample.avi"
probe file "$(winpath "$out/sample.avi")" --out "$(winpath "$out/file")"

echo
echo "Frames captured from the Test Camera: $out/frames"
echo "Frames read from the media file:      $out/file"
