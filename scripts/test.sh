#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the normal build
# (unit, widget, audio and end-to-end tests), then the unit and audio tests
# again under AddressSanitizer + UndefinedBehaviorSanitizer, and the audio
# library's tests under ThreadSanitizer.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/install-deps.sh"

# A sound server with a null sink for the tests of the default output; the
# end-to-end tests start sessions of their own.
sound_dir="$(mktemp -d /tmp/chromola-test-sound.XXXXXX)"
chmod 700 "$sound_dir"
stop_sound() {
  XDG_RUNTIME_DIR="$sound_dir" HOME="$sound_dir" pulseaudio -k 2>/dev/null || true
  rm -rf "$sound_dir"
}
trap stop_sound EXIT
XDG_RUNTIME_DIR="$sound_dir" HOME="$sound_dir" pulseaudio -n --daemonize=yes \
  --exit-idle-time=-1 --disallow-exit -L module-native-protocol-unix \
  -L "module-null-sink sink_name=nullsink" >/dev/null 2>&1 || true
export PULSE_SERVER="unix:$sound_dir/pulse/native"

bash "$here/scripts/build.sh" "$here/build"
ctest --test-dir "$here/build" --output-on-failure -j 2

if [ "${CHROMOLA_QUICK:-0}" != "1" ]; then
  bash "$here/scripts/build.sh" "$here/build-asan" -DCHROMOLA_SANITIZE=address,undefined \
    -DCHROMOLA_BENCHMARKS=OFF
  ctest --test-dir "$here/build-asan" --output-on-failure -j 2 -LE e2e

  bash "$here/scripts/build.sh" "$here/build-tsan" -DCHROMOLA_SANITIZE=thread \
    -DCHROMOLA_PLAYER=OFF -DCHROMOLA_BENCHMARKS=OFF
  ctest --test-dir "$here/build-tsan" --output-on-failure -j 2
fi
