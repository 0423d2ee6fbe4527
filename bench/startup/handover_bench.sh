#!/usr/bin/env bash
# What a start costs that hands its files to the running player: the time
# from exec to exit, and the X connections and sound-server connections it
# opens (counted from its connect() calls under strace). A player runs in a
# private session (Xvfb with openbox, PulseAudio with a null sink) and the
# handing-over starts go to it in turn, the builds interleaved, so that
# every build is measured in the same run.
# Usage: handover_bench.sh BIN_DIR [RUNS [OTHER_BIN_DIR...]]
set -euo pipefail
bin="$(cd "$1" && pwd)"
runs="${2:-11}"
builds=("$bin")
for dir in "${@:3}"; do builds+=("$(cd "$dir" && pwd)"); done
for dir in "${builds[@]}"; do
  [ -x "$dir/Chromola" ] || { echo "no Chromola in $dir" >&2; exit 1; }
done
command -v strace >/dev/null || { echo "strace is needed" >&2; exit 1; }
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/e2e/session.sh"
e2e_start_x
e2e_start_sound

track="$E2E_DIR/track.mp3"
"$bin/make_tone" "$track" 440 600
"$bin/Chromola" "$track" >"$E2E_DIR/player.log" 2>&1 &
e2e_pids+=($!)
e2e_wait_window "$E2E_TITLE" 100 >/dev/null || { echo "the player's window did not show" >&2; exit 1; }

printf '%-40s %10s %10s %12s\n' build "exit ms" "X conns" "sound conns"
for ((i = 0; i < runs; i++)); do
  for dir in "${builds[@]}"; do
    out="$E2E_DIR/times.$(echo "$dir" | md5sum | cut -c1-8)"
    start=$EPOCHREALTIME
    "$dir/Chromola" "$track"
    end=$EPOCHREALTIME
    echo "$start $end" | awk '{printf "%.1f\n", ($2 - $1) * 1000}' >>"$out"
  done
done
for dir in "${builds[@]}"; do
  out="$E2E_DIR/times.$(echo "$dir" | md5sum | cut -c1-8)"
  median=$(sort -n "$out" | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}')
  # One more start under strace for the connections it opens.
  strace -f -qq -e trace=connect -o "$E2E_DIR/trace" "$dir/Chromola" "$track"
  x=$(grep -c 'X11-unix' "$E2E_DIR/trace" || true)
  sound=$(grep -c 'pulse/native' "$E2E_DIR/trace" || true)
  printf '%-40s %10s %10s %12s\n' "$dir" "$median" "$x" "$sound"
done
