#!/usr/bin/env bash
# Installs from Debian's packages whatever the builds and tests need and the
# machine lacks, and any further packages named as arguments. Safe to run
# again: it installs only what is missing.
set -euo pipefail

# gstreamer1.0-plugins-good: Wine's WAVE parser, a peer in the sink's tests,
# needs GStreamer's wavparse. xvfb, xauth: a virtual display (xvfb-run) for the
# property page's windows. zip: scripts/package.sh.
# clang-format: the library's style check (CTest mediafile_format).
packages=(cmake make g++ python3 ffmpeg googletest g++-mingw-w64-x86-64-posix wine64 util-linux
          gstreamer1.0-plugins-good xvfb xauth zip clang-format "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
