#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the normal build
# (unit, widget, audio and end-to-end tests), then the unit and audio tests
# again under AddressSanitizer + UndefinedBehaviorSanitizer, and the audio
# library's tests under ThreadSanitizer.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/install-deps.sh"

bash "$here/scripts/build.sh" "$here/build"
ctest --test-dir "$here/build" --output-on-failure -j 2

if [ "${CHROMOLA_QUICK:-0}" != "1" ]; then
  bash "$here/scripts/build.sh" "$here/build-asan" -DCHROMOLA_SANITIZE=address,undefined \
    -DCHROMOLA_BENCHMARKS=OFF
  ASAN_OPTIONS=detect_leaks=0 ctest --test-dir "$here/build-asan" --output-on-failure -j 2 -LE e2e

  bash "$here/scripts/build.sh" "$here/build-tsan" -DCHROMOLA_SANITIZE=thread \
    -DCHROMOLA_PLAYER=OFF -DCHROMOLA_BENCHMARKS=OFF
  ctest --test-dir "$here/build-tsan" --output-on-failure -j 2
fi
