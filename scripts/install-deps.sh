#!/usr/bin/env bash
# Installs every Debian (bookworm) package that building, running and testing
# Chromola needs. README and .ci/run both call this one script.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format
  # libraries
  qt6-base-dev libgl-dev libsndfile1-dev libmpg123-dev libopenmpt-dev libpulse-dev
  libasound2-dev libsoxr-dev libfftw3-dev libkissfft-dev libx11-dev libtag1-dev libfontconfig-dev
  # the Debian package and the desktop files: dpkg-shlibdeps, their validators, icons
  dpkg-dev desktop-file-utils appstream librsvg2-bin
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # end-to-end: X server, window manager, key events, screenshots, sound server
  xvfb xauth openbox xdotool x11-utils x11-xserver-utils imagemagick pulseaudio pulseaudio-utils
  fonts-dejavu-core fonts-liberation2
  # the desktop's media controls: a private session bus and a client
  dbus-daemon playerctl
  # reference decoders and encoders used by tests and benchmarks
  mpg123 vorbis-tools flac sndfile-programs twolame lame openmpt123 time strace
  # the beat benchmark's peer tracker (run as a separate program, never linked) and its scorer
  aubio-tools python3-mir-eval
  # light output: the Open Lighting Architecture's daemon and client library;
  # its tests run olad in a private network namespace
  ola libola-dev iproute2 util-linux
  # the remote in a phone's browser: its server, the QR code of its address,
  # and a real browser driven by its end-to-end test
  qt6-httpserver-dev qt6-websockets-dev libqrencode-dev chromium chromium-driver python3-selenium
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
# Packages never start their services here: the lighting daemon (olad) would
# otherwise bind to the machine's real network. Tests start their own.
guard=""
if [ ! -e /usr/sbin/policy-rc.d ]; then
  guard=/usr/sbin/policy-rc.d
  printf '#!/bin/sh\nexit 101\n' | $sudo tee "$guard" >/dev/null
  $sudo chmod 755 "$guard"
fi
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
[ -z "$guard" ] || $sudo rm -f "$guard"
