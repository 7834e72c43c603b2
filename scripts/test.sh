#!/usr/bin/env bash
# Builds kivo and runs every test under Wine, in two lanes, one per Wine
# release: wine8 (the host's Debian 12 Wine) and wine10 (Debian 13's Wine, in
# a root made by scripts/wine10-root.sh). Both run the one MinGW build.
#   test.sh [--lane wine8|wine10] [ctest arguments, e.g. -L unit or -R file]
# Ends with a summary per lane and fails when either lane failed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KIVO_BUILD_DIR:-$root/build}
# A Ctrl-C ends the whole run, not only the lane it came in.
trap 'exit 130' INT

lanes=(wine8 wine10)
if [ "${1:-}" = "--lane" ]; then
  case "${2:-}" in
    wine8 | wine10) lanes=("$2") ;;
    *) echo "usage: test.sh [--lane wine8|wine10] [ctest arguments...]" >&2; exit 2 ;;
  esac
  shift 2
fi

lane_wine8() {
  "$root/scripts/lane-ctest.sh" "$build" "$build/wineprefix" "$@"
}

# The media files and the corpus come from the host's ffmpeg, as in the first
# lane, so the lanes read the same bytes and differ in Wine only; make_media
# and make_corpus are therefore not run (nor pulled in as fixtures) inside
# the root, which has no ffmpeg. The soak
# runs in the wine8 lane only, and so do it_probe_json, a python3 script
# (the root has no python), and package_consume and package_archive, which
# build tests/consumer with MinGW (the root has no compiler).
lane_wine10() {
  bash "$root/tests/media/make-media.sh" "$build/media"
  bash "$root/tests/media/make-corpus.sh" "$build/media/corpus"
  local exclude="$build/wine10-lane.exclude"
  printf '%s\n' make_media make_corpus soak it_probe_json package_consume package_archive >"$exclude"
  "$root/scripts/wine10-root.sh" run "$root" "$build" -- \
    bash "$root/scripts/lane-ctest.sh" "$build" "$build/wineprefix-wine10" \
    -FA '^(media|corpus)$' --exclude-from-file "$exclude" "$@"
}

# Runs one lane and prints what failed in it; returns the lane's status.
run_lane() {
  local lane=$1
  shift
  local failed_log="$build/Testing/Temporary/LastTestsFailed.log"
  echo
  echo "==== lane $lane"
  rm -f "$failed_log"
  local status=0
  "lane_$lane" "$@" || status=$?
  if [ $status -eq 0 ]; then
    summary+=("$lane: passed")
  elif [ -s "$failed_log" ]; then
    summary+=("$lane: FAILED: $(cut -d: -f2- "$failed_log" | paste -sd' ')")
  else
    summary+=("$lane: FAILED (exit status $status, before or outside the tests)")
  fi
  return $status
}

"$root/scripts/build.sh"

summary=()
overall=0
for lane in "${lanes[@]}"; do
  run_lane "$lane" "$@" || overall=1
done

echo
echo "==== test lanes"
printf '%s\n' "${summary[@]}"
exit $overall
