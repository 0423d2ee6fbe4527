#!/usr/bin/env bash
# Live mode's cost against cava's, in one session (Xvfb with openbox, a
# PulseAudio null sink into which paplay plays a minute of music-like sound
# over and over): the player in live mode on the sink's monitor, with its
# window visible, and cava (when installed) on the same monitor with raw
# output to /dev/null, so that no terminal's drawing is counted for it.
# RUNS rounds of S seconds each, alternated; CPU % of one core from the
# scheduler's own accounting of every thread, medians. Then the capture
# path's latency on the same sink (libbass_capture_latency): from the moment
# a tone is heard to the first 17-ms poll whose spectrum shows it.
# Usage: live_cpu.sh BIN_DIR [RUNS [SECONDS]]
bin="$(cd "$1" && pwd)"
runs="${2:-3}"
seconds="${3:-10}"
source "$(dirname "${BASH_SOURCE[0]}")/../player/bench_session.sh"
e2e_start_bus

cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{sum += $1} END {print sum + 0}'; }
# Voluntary switches of the threads whose names start with $2 (the capture's
# wake-ups: libpulse's main loop of the capture's own connection).
wakeups() {
  local t sum=0
  for t in /proc/"$1"/task/*; do
    [[ "$(cat "$t/comm")" == "$2"* ]] && sum=$((sum + $(awk '/^voluntary_ctxt_switches/ {print $2}' "$t/status")))
  done 2>/dev/null
  echo "$sum"
}

(while :; do paplay -d nullsink "$E2E_DIR/music.wav" || exit; done) &
e2e_pids+=($!)
sleep 1
measure_ours() {
  printf '[Form]\nLeft=1500\nTop=1500\nWidth=7200\nHeight=5000\nLive=1\nLiveSource=0\n' \
    >"$XDG_CONFIG_HOME/vbChromola.conf"
  "$bin/Chromola" &
  local pid=$!
  e2e_wait_window "Vazuvideroz (F1-Help)" >/dev/null || { echo "no window" >&2; exit 1; }
  sleep 3
  local c0 w0 t0 c1 w1 t1
  c0=$(cpu_ns "$pid"); w0=$(wakeups "$pid" chromola-captur); t0=$(date +%s%N)
  sleep "$seconds"
  c1=$(cpu_ns "$pid"); w1=$(wakeups "$pid" chromola-captur); t1=$(date +%s%N)
  kill "$pid"; wait "$pid" || true
  echo "ours $(awk -v c=$((c1 - c0)) -v t=$((t1 - t0)) 'BEGIN {print 100 * c / t}') \
$(awk -v w=$((w1 - w0)) -v t=$((t1 - t0)) 'BEGIN {print w * 1e9 / t}')"
}
measure_cava() {
  cat >"$E2E_DIR/cava.conf" <<CONF
[input]
method = pulse
source = nullsink.monitor
[output]
method = raw
raw_target = /dev/null
data_format = binary
CONF
  cava -p "$E2E_DIR/cava.conf" &
  local pid=$!
  sleep 3
  local c0 t0 c1 t1
  c0=$(cpu_ns "$pid"); t0=$(date +%s%N)
  sleep "$seconds"
  c1=$(cpu_ns "$pid"); t1=$(date +%s%N)
  kill "$pid"; wait "$pid" || true
  echo "cava $(awk -v c=$((c1 - c0)) -v t=$((t1 - t0)) 'BEGIN {print 100 * c / t}') 0"
}
for n in $(seq "$runs"); do
  measure_ours >>"$E2E_DIR/runs"
  if command -v cava >/dev/null; then measure_cava >>"$E2E_DIR/runs"; fi
done
kill "${e2e_pids[-1]}" 2>/dev/null
"$bin/libbass_capture_latency" 20 1 >"$E2E_DIR/latency" 2>&1 || true

python3 - "$E2E_DIR/runs" "$runs" "$seconds" <<'PY'
import statistics, sys
got = {}
for line in open(sys.argv[1]):
    name, cpu, wake = line.split()
    got.setdefault(name, []).append((float(cpu), float(wake)))
print(f"live mode on a null sink's monitor, {sys.argv[2]} rounds of {sys.argv[3]} s, medians:")
ours = statistics.median(c for c, _ in got["ours"])
wake = statistics.median(w for _, w in got["ours"])
print(f"  ours  {ours:.2f} % of one core (runs: {', '.join(f'{c:.2f}' for c, _ in got['ours'])}), "
      f"capture thread {wake:.0f} wake-ups/s")
if "cava" in got:
    cava = statistics.median(c for c, _ in got["cava"])
    print(f"  cava  {cava:.2f} % (runs: {', '.join(f'{c:.2f}' for c, _ in got['cava'])}); "
          f"ours / cava {ours / cava:.2f}x (goal <= 0.55x)")
else:
    print("  (cava is not installed: ours alone)")
PY
sed -n '/^onset/,/sink plays it ->/p' "$E2E_DIR/latency"
