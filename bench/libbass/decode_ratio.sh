#!/usr/bin/env bash
# Decoding speed of libbass against the reference decoders, measured in the
# same run on the same 5-minute files: mp3 (lame), ogg (oggenc), flac (flac),
# and where twolame, and opusenc with opusdec, are installed, mp2 and opus
# too (each streamed format the player opens that has a reference decoder
# here; the others are named as left out). Tracker modules are rendered, not
# decoded through these stream decoders: not measured here.
# Prints, per format, the best of three runs of each and their ratio
# (libbass time / reference time; goal: at most 1.05).
# Usage: bench/libbass/decode_ratio.sh <build folder>   (default: build-libbass)
set -euo pipefail

build=${1:-build-libbass}
tool="$build/bench/libbass/libbass_decode"
[ -x "$tool" ] || tool="$build/bin/libbass_decode"
[ -x "$tool" ] || { echo "libbass_decode not built in $build" >&2; exit 2; }
for cmd in lame oggenc flac mpg123 oggdec; do
  command -v "$cmd" >/dev/null || { echo "missing $cmd" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$tool" --signal "$work/signal.wav" 300
lame --quiet -b 192 "$work/signal.wav" "$work/signal.mp3"
oggenc --quiet -q 5 -o "$work/signal.ogg" "$work/signal.wav"
flac --silent -5 -o "$work/signal.flac" "$work/signal.wav"
formats=(mp3 ogg flac)
if command -v twolame >/dev/null; then
  twolame --quiet -b 192 "$work/signal.wav" "$work/signal.mp2" && formats+=(mp2)
fi
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
    ogg) ref=(oggdec --quiet -o /dev/null "$file") ;;
    flac) ref=(flac --silent -t "$file") ;;
  esac
  ours=$(best_of_three "$tool" "$file")
  theirs=$(best_of_three "${ref[@]}")
  ratio=$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.3f", a / b }')
  printf '%-5s %12.3f %12.3f %8s  %s\n' "$fmt" "$ours" "$theirs" "$ratio" "${ref[0]}"
done
for cmd in twolame opusdec; do
  command -v "$cmd" >/dev/null || echo "($cmd is not installed: its format is left out)"
done
