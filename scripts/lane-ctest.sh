#!/usr/bin/env bash
# Runs a build's tests with the Wine found on PATH, in a Wine prefix of its
# own: scripts/test.sh runs it for each test lane, on the host (Wine 8) and
# inside the Debian 13 root (Wine 10). Usage:
#   lane-ctest.sh BUILD_DIR PREFIX_DIR [ctest arguments...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$1
prefix=$2
shift 2

source "$here/wine-session.sh"
trap kivo_session_stop EXIT
kivo_session_start "$build" "$prefix"

echo "kivo: testing with $(wine --version 2>/dev/null) in $WINEPREFIX"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "$@"
