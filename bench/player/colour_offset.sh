#!/usr/bin/env bash
# Runs colour_offset against a PulseAudio null sink of its own.
# Usage: colour_offset.sh BIN_DIR [RUNS]
bin="$(cd "$1" && pwd)"
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/e2e/session.sh"
e2e_start_sound
"$bin/colour_offset" "$bin" "${2:-5}"
