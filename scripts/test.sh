#!/usr/bin/env bash
# Builds kivo and runs every test under Wine. Arguments go to ctest
# (for example -L unit, or -R filters).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KIVO_BUILD_DIR:-$root/build}

"$root/scripts/build.sh"

source "$root/scripts/wine-session.sh"
trap kivo_session_stop EXIT
kivo_session_start "$build"

ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "$@"
