#!/usr/bin/env bash
# What finding a track's beats costs the real player: a 5-minute mp3 of
# music played with BeatAccent=1 (its beats found as it starts, nothing in
# the cache) against the same start with the option off, in one run. Prints
# the processor time of the analysis thread (decoding included) and the
# player's peak memory both ways. Goals: at most 1 s, at most 10 MB more.
# Usage: analysis_cost.sh BIN_DIR [RUNS]
bin="$(cd "$1" && pwd)"
runs="${2:-3}"
here="$(dirname "${BASH_SOURCE[0]}")"
source "$here/../../tests/e2e/session.sh"
e2e_start_x
e2e_start_sound
python3 "$here/../player/music.py" "$E2E_DIR/music.wav" 5
lame --quiet -b 192 "$E2E_DIR/music.wav" "$E2E_DIR/music.mp3"

# run ACCENT: prints "peak_kB analysis_ns bpm".
run() {
  rm -rf "$HOME/.cache"
  e2e_form "Path=$E2E_DIR/music.mp3" "BeatAccent=$1"
  : >"$E2E_DIR/beats.log"
  CHROMOLA_BEAT_LOG="$E2E_DIR/beats.log" e2e_player
  sleep 15
  local ns=0 t
  for t in /proc/"$pid"/task/*; do
    [ "$(cat "$t/comm")" != chromola-beats ] || ns=$(cut -d' ' -f1 "$t/schedstat")
  done
  echo "$(awk '/VmHWM/ {print $2}' /proc/"$pid"/status) $ns $(tail -n 1 "$E2E_DIR/beats.log" | cut -d' ' -f2)"
  e2e_close
}
for _ in $(seq "$runs"); do
  echo "off $(run 0)"
  echo "on $(run 1)"
done | awk '
  $1 == "off" { off[++n] = $2 }
  $1 == "on" { on[++m] = $2; cpu[m] = $3 / 1e9; bpm = $4 }
  function median(a, k,   i, j, t) {
    for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    return a[int((k + 1) / 2)]
  }
  END {
    printf "analysis of a 5-minute mp3: %.3f s of one core (median of %d), tempo %s BPM\n", median(cpu, m), m, bpm
    printf "peak memory: %.1f MB with the analysis, %.1f MB without (medians), %+.1f MB\n",
           median(on, m) / 1024, median(off, n) / 1024, (median(on, m) - median(off, n)) / 1024
  }'
