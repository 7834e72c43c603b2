#!/usr/bin/env bash
# Installs the Debian packages that building and testing kivo need, and only
# those that are missing, so that a second run returns at once.
set -euo pipefail

PACKAGES=(
  cmake make git
  g++-mingw-w64-x86-64-posix mingw-w64-tools
  googletest
  wine wine64
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  xvfb xauth
  ffmpeg
  python3
  # clang and its linker lld build C hosts against the GCC-built kivo.dll
  # (cmake/clang-c-program.cmake), as a host built by another compiler does.
  clang lld
  # The Wine 10 test lane runs in a Debian 13 root made with it
  # (scripts/wine10-root.sh).
  debootstrap
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "kivo setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
