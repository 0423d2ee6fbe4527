#!/usr/bin/env bash
# Two builds of the player, side by side in one session: the CPU share of one
# core that each uses (and the X server's meanwhile) while it plays the same
# 60-second mp3 with its window visible, REPS (3) times each, interleaved
# (A, B, A, B, ...) so that a machine busy with other work weighs on both
# alike. Xvfb with openbox, sound into a PulseAudio null sink.
# Usage: playback_cpu_ab.sh BIN_DIR_A BIN_DIR_B [SECONDS] [REPS]
bins=("$(cd "$1" && pwd)" "$(cd "$2" && pwd)")
seconds="${3:-20}"
reps="${4:-3}"
source "$(dirname "${BASH_SOURCE[0]}")/bench_session.sh"

cpu_ns() { cat /proc/"$1"/task/*/schedstat | awk '{sum += $1} END {print sum}'; }
# The display tick's own, where it has a thread: it alone sends the frames.
tick_ns() {
  local t
  for t in /proc/"$1"/task/*; do
    [ "$(cat "$t/comm")" != "display tick" ] || cut -d' ' -f1 "$t/schedstat"
  done 2>/dev/null | awk '{sum += $1} END {print sum + 0}'
}

for rep in $(seq "$reps"); do
  for i in 0 1; do
    bin=${bins[$i]}
    # The same settings each time: a player writes its own back at exit.
    e2e_form "Path=$E2E_DIR/music.mp3" Left=1500 Top=1500 Width=7200 Height=5000
    e2e_player
    sleep 2
    p0=$(cpu_ns "$pid"); k0=$(tick_ns "$pid"); x0=$(cpu_ns "$xpid"); t0=$(date +%s%N)
    sleep "$seconds"
    p1=$(cpu_ns "$pid"); k1=$(tick_ns "$pid"); x1=$(cpu_ns "$xpid"); t1=$(date +%s%N)
    e2e_close
    awk -v bin="$bin" -v rep="$rep" -v p=$((p1 - p0)) -v k=$((k1 - k0)) -v x=$((x1 - x0)) \
      -v ms=$(((t1 - t0) / 1000000)) 'BEGIN {
      printf "%s %d: player %.3f %% of one core, its tick %.3f %%, X server %.3f %%\n",
             bin, rep, 100 * p / 1e6 / ms, 100 * k / 1e6 / ms, 100 * x / 1e6 / ms }'
  done
done | tee "$E2E_DIR/runs"
awk '{p[$1] += $4; k[$1] += $11; x[$1] += $15; n[$1]++; if (n[$1] == 1) name[++m] = $1}
  END {for (i = 1; i <= m; i++) { b = name[i]
         printf "mean %s: player %.3f %%, its tick %.3f %%, X server %.3f %%\n",
                b, p[b] / n[b], k[b] / n[b], x[b] / n[b] } }' \
  "$E2E_DIR/runs"
