# Sourced by the scripts that run Windows programs of a build: prepares the
# build's Wine prefix, an X display for Wine's video renderer and a
# persistent wineserver, and stops them again. Usage:
#   source scripts/wine-session.sh; kivo_session_start BUILD_DIR [PREFIX]; ...; kivo_session_stop
# PREFIX defaults to BUILD_DIR/wineprefix; each Wine release (test lane) has a
# prefix of its own, as a prefix updated by one release breaks another.

kivo_session_start() {
  local build="$1"
  export WINEPREFIX="${2:-$build/wineprefix}"
  # The build's wine-run.sh, which CTest runs every program through, reads it.
  export KIVO_WINEPREFIX="$WINEPREFIX"
  export WINEDEBUG="${WINEDEBUG:--all}"
  # No Mono or Gecko: Wine would otherwise offer to download them.
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
  KIVO_XVFB_PID=""

  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "kivo: creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    # system.reg is written only once the wineserver has ended.
    wineserver -w
    wine --version 2>/dev/null >"$WINEPREFIX/.kivo-wine-version"
  fi
  kivo_session_check_release

  # An X display of our own, found free by Xvfb itself.
  local displayfile
  displayfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
  KIVO_XVFB_PID=$!
  local waited=0
  while [ ! -s "$displayfile" ] && [ $waited -lt 100 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  if [ -s "$displayfile" ]; then
    export DISPLAY=":$(head -n1 "$displayfile")"
    echo "$DISPLAY" >"$WINEPREFIX/.kivo-display"
  else
    echo "kivo: Xvfb did not start; tests that need a display will fail" >&2
  fi
  rm -f "$displayfile"

  # A wineserver that outlives each program keeps every start fast.
  wineserver -p >/dev/null 2>&1 || true
  # Start Wine's own services now, with no terminal or pipe of ours: started
  # by the first test program, they would hold CTest's output pipe open and
  # CTest would wait for them until its time-out.
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true

  # The Test Camera, when built, is registered in this prefix.
  if [ -f "$build/bin/kivo-testcam.dll" ]; then
    wine regsvr32 /s "$build/bin/kivo-testcam.dll" >/dev/null 2>&1 ||
      echo "kivo: registering the Test Camera failed" >&2
  fi
}

# A prefix belongs to the Wine release that made it: refuse to use it with another.
kivo_session_check_release() {
  local made running
  running=$(wine --version 2>/dev/null)
  if [ ! -f "$WINEPREFIX/.kivo-wine-version" ]; then
    # A prefix made before releases were recorded: the one found running now.
    echo "$running" >"$WINEPREFIX/.kivo-wine-version"
  fi
  made=$(cat "$WINEPREFIX/.kivo-wine-version")
  if [ "$made" != "$running" ]; then
    echo "kivo: $WINEPREFIX was made by $made, not by the $running running now;" \
      "remove it or use a prefix of this release" >&2
    return 1
  fi
}

kivo_session_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    rm -f "$WINEPREFIX/.kivo-display"
  fi
  if [ -n "${KIVO_XVFB_PID:-}" ]; then
    kill "$KIVO_XVFB_PID" >/dev/null 2>&1 || true
    wait "$KIVO_XVFB_PID" 2>/dev/null || true
    KIVO_XVFB_PID=""
  fi
}
