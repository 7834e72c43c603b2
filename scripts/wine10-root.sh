#!/usr/bin/env bash
# A Debian 13 root with Wine 10 for the second test lane. Debian 12 ships only
# Wine 8; the MinGW-built programs run unchanged under Wine 10 in a minimal
# trixie root entered with chroot. The root is kept in a cache outside the
# repository, so only the first run pays for the bootstrap.
#
#   wine10-root.sh prepare                 makes (or completes) the root
#   wine10-root.sh run DIR... -- CMD ARG...  runs CMD inside it, each DIR
#                                          bind-mounted at its own path
#   wine10-root.sh remove                  deletes the root
#
# The root lives in ${KIVO_CACHE:-$HOME/.cache/kivo}/debian13-root. One run at
# a time uses it (a lock), as the mounts of two runs would get in each other's way.
set -euo pipefail

# Resolved: the kernel names a chrooted process's root by its real path.
cache=$(realpath -m "${KIVO_CACHE:-$HOME/.cache/kivo}")
rootdir="$cache/debian13-root"
mirror=${KIVO_DEBIAN_MIRROR:-http://deb.debian.org/debian}
# Written once debootstrap has finished: a root without it was interrupted
# while being bootstrapped and is made again from nothing.
bootstrapped="$rootdir/.kivo-bootstrapped"
# Written last, with the package list: without it (or with another list) the
# packages are installed again, which apt resumes where it stopped.
marker="$rootdir/.kivo-root-complete"

# What the lane runs inside the root: the same Wine and GStreamer plugins as
# the host's lane (scripts/setup.sh), an X server, and CTest. The media files
# are made by the host's ffmpeg, so no ffmpeg here.
PACKAGES=(
  wine wine64
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  xvfb xauth
  cmake
)

log() { echo "kivo wine10 root: $*" >&2; }

# The mount points below the root, deepest first (read from the kernel, so
# mounts left by a killed run are found too).
mounts_below_root() {
  awk -v r="$rootdir" '$5 == r || index($5, r "/") == 1 { print $5 }' /proc/self/mountinfo |
    sort -r
}

# Processes whose root directory is ours: only our own runs start them.
processes_in_root() {
  local p
  for p in /proc/[0-9]*; do
    if [ "$(readlink "$p/root" 2>/dev/null)" = "$rootdir" ]; then
      echo "${p#/proc/}"
    fi
  done
}

# Ends what is left inside the root (a wineserver or Xvfb of an interrupted
# run), each by its process id, so its mounts can go.
stop_processes_in_root() {
  local pids
  pids=$(processes_in_root)
  [ -z "$pids" ] && return 0
  log "stopping processes left in the root: $(echo $pids)"
  kill $pids 2>/dev/null || true
  local i
  for i in $(seq 50); do
    [ -z "$(processes_in_root)" ] && return 0
    sleep 0.1  # polling for exit: a process of another parent cannot be waited on
  done
  pids=$(processes_in_root)
  [ -n "$pids" ] && kill -KILL $pids 2>/dev/null || true
}

unmount_all() {
  local m
  stop_processes_in_root
  for m in $(mounts_below_root); do
    umount "$m" 2>/dev/null || umount -l "$m" || log "could not unmount $m"
  done
  if [ -n "$(mounts_below_root)" ]; then
    log "mounts left behind:"; mounts_below_root >&2
    return 1
  fi
}

# /proc, /dev (with its pts and shm mounts) and, for `run`, the given folders.
# rslave: an unmount inside the root never reaches the host's /dev.
mount_base() {
  mount -t proc proc "$rootdir/proc"
  mount --rbind /dev "$rootdir/dev"
  mount --make-rslave "$rootdir/dev"
}

bind_same_path() {
  local dir
  dir=$(realpath "$1")
  mkdir -p "$rootdir$dir"
  mount --bind "$dir" "$rootdir$dir"
}

# A clean environment: nothing of the host's (DISPLAY, WINEPREFIX) leaks in,
# but a WINEDEBUG the user set still applies.
in_root() {
  chroot "$rootdir" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    DEBIAN_FRONTEND=noninteractive ${WINEDEBUG:+WINEDEBUG="$WINEDEBUG"} "$@"
}

# Removes the root, but never through a mount into the host's folders.
remove_root() {
  [ -e "$rootdir" ] || return 0
  unmount_all
  rm -rf --one-file-system "$rootdir"
}

bootstrap() {
  log "debootstrap --variant=minbase trixie from $mirror (first run only)"
  local start=$SECONDS
  mkdir -p "$cache"
  debootstrap --variant=minbase trixie "$rootdir" "$mirror" >"$cache/debootstrap.log" 2>&1 || {
    log "debootstrap failed; see $cache/debootstrap.log"; return 1; }
  touch "$bootstrapped"
  log "bootstrap took $((SECONDS - start)) s"
}

install_packages() {
  local start=$SECONDS
  log "installing ${PACKAGES[*]}"
  # No service may start inside the root.
  printf '#!/bin/sh\nexit 101\n' >"$rootdir/usr/sbin/policy-rc.d"
  chmod +x "$rootdir/usr/sbin/policy-rc.d"
  in_root apt-get update -qq
  # An install cut short leaves packages unpacked but not configured.
  in_root dpkg --configure -a
  # As on the host: no recommended packages. dconf-service is left
  # unconfigured until apt-get -f install adds dbus-user-session, so the
  # first install may fail and the second completes it.
  in_root apt-get install -y -qq --no-install-recommends "${PACKAGES[@]}" >/dev/null ||
    log "apt-get install left work undone; completing it with apt-get -f install"
  in_root apt-get -f install -y -qq >/dev/null
  if [ -n "$(in_root dpkg --audit)" ]; then
    log "packages left unconfigured:"; in_root dpkg --audit >&2
    return 1
  fi
  in_root apt-get clean
  log "package installation took $((SECONDS - start)) s"
}

prepare() {
  if [ -f "$marker" ] && [ "$(cat "$marker")" = "${PACKAGES[*]}" ]; then
    return 0
  fi
  if [ ! -f "$bootstrapped" ]; then
    [ -e "$rootdir" ] && log "remaking the unfinished root $rootdir"
    remove_root
    bootstrap
  fi
  rm -f "$marker"
  mount_base
  install_packages
  log "ready: $(in_root wine --version 2>/dev/null)"
  unmount_all
  echo "${PACKAGES[*]}" >"$marker"
}

run() {
  local dirs=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do dirs+=("$1"); shift; done
  [ $# -gt 1 ] || { echo "usage: wine10-root.sh run DIR... -- CMD ARG..." >&2; return 2; }
  shift
  prepare
  mount_base
  local d
  for d in "${dirs[@]}"; do bind_same_path "$d"; done
  in_root "$@"
}

with_lock() {
  mkdir -p "$cache"
  exec 9>"$cache/debian13-root.lock"
  flock 9
  # Whatever happens, also Ctrl-C or a kill, the mounts go with this script.
  trap 'exit 130' INT
  trap 'exit 143' TERM
  trap unmount_all EXIT
  "$@"
}

case "${1:-}" in
  prepare) with_lock prepare ;;
  run) shift; with_lock run "$@" ;;
  remove) with_lock remove_root ;;
  *) echo "usage: wine10-root.sh prepare | run DIR... -- CMD ARG... | remove" >&2; exit 2 ;;
esac
