#!/usr/bin/env bash
# Decoding speed of libbass against the reference decoders, measured in the
# same run on the same 5-minute files: mp3 (lame) and mp2 (twolame) against
# mpg123, ogg (oggenc) against oggdec, flac against flac, a ProTracker module
# against openmpt123 (rendering to a pipe), and opus where opusenc and
# opusdec are installed. Prints, per format, the best of three runs of each
# and their ratio (libbass time / reference time; goal: at most 1.05). WAV
# and AIFF are read by libsndfile with no decoding to speak of, and no
# encoder in the archive writes MPEG layer I: neither is measured.
# Usage: bench/libbass/decode_ratio.sh <build folder>   (default: build-libbass)
set -euo pipefail

build=${1:-build-libbass}
tool="$build/bench/libbass/libbass_decode"
[ -x "$tool" ] || tool="$build/bin/libbass_decode"
[ -x "$tool" ] || { echo "libbass_decode not built in $build" >&2; exit 2; }
for cmd in lame twolame oggenc flac mpg123 oggdec openmpt123; do
  command -v "$cmd" >/dev/null || { echo "missing $cmd" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$tool" --signal "$work/signal.wav" 300
lame --quiet -b 192 "$work/signal.wav" "$work/signal.mp3"
oggenc --quiet -q 5 -o "$work/signal.ogg" "$work/signal.wav"
flac --silent -5 -o "$work/signal.flac" "$work/signal.wav"
formats=(mp3 ogg flac mp2 mod)
twolame --quiet -b 192 "$work/signal.wav" "$work/signal.mp2"
# 40 patterns of 7.68 s: the same five minutes.
"$(dirname "$tool")/make_tone" "$work/signal.mod" module 40 2>/dev/null ||
  "$build/bin/make_tone" "$work/signal.mod" module 40
if command -v opusenc >/dev/null && command -v opusdec >/dev/null; then
  opusenc --quiet "$work/signal.wav" "$work/signal.opus" && formats+=(opus)
fi

# Wall-clock seconds of the fastest of three runs of a command.
best_of_three() {
  local best=""
  for _ in 1 2 3; do
    local start end took
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    took=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')
    if [ -z "$best" ] || awk -v t="$took" -v b="$best" 'BEGIN { exit !(t < b) }'; then
      best=$took
    fi
  done
  echo "$best"
}

printf '%-5s %12s %12s %8s  %s\n' format libbass_s reference_s ratio reference
for fmt in "${formats[@]}"; do
  file="$work/signal.$fmt"
  case $fmt in
    mp3 | mp2) ref=(mpg123 -q -t "$file") ;;
    opus) ref=(opusdec --quiet "$file" /dev/null) ;;
    mod) ref=(sh -c 'openmpt123 --batch --quiet --stdout "$1" >/dev/null' - "$file") ;;
    ogg) ref=(oggdec --quiet -o /dev/null "$file") ;;
    flac) ref=(flac --silent -t "$file") ;;
  esac
  ours=$(best_of_three "$tool" "$file")
  theirs=$(best_of_three "${ref[@]}")
  ratio=$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.3f", a / b }')
  name=${ref[0]}
  [ "$fmt" != mod ] || name=openmpt123
  printf '%-5s %12.3f %12.3f %8s  %s\n' "$fmt" "$ours" "$theirs" "$ratio" "$name"
done
command -v opusdec >/dev/null || echo "(opusdec is not installed: opus is left out)"
