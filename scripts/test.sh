#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build
# (unit, core, widget, audio and end-to-end tests), then the same tests under
# AddressSanitizer + UndefinedBehaviorSanitizer and under ThreadSanitizer.
# Each is one CMake preset; ctest starts the sound server the tests need
# itself. End-to-end cases wait on a real X server and sound server, and
# under a sanitizer they run several times slower: a case that fails runs
# once more (the presets' until-pass), and its first failure stays in the
# log.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/install-deps.sh"
cd "$here"

presets=(default)
if [ "${CHROMOLA_QUICK:-0}" != "1" ]; then presets+=(asan tsan); fi
for preset in "${presets[@]}"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
  ctest --preset "$preset"
done
