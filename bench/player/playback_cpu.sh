#!/usr/bin/env bash
# CPU share of one core used by the player and by the X server while the
# player plays a 60-second mp3 with its window visible, while it rests in the
# pause after a finished track, with an empty playlist, and in live mode while
# another program plays the same music; and the player's peak resident memory.
# Then the capture path's latency (libbass_capture_latency). Xvfb with
# openbox, sound into a PulseAudio null sink.
# With --full-screen, on a 3840 x 2160 screen the window goes full screen
# (F11) instead, and a steady tone is measured beside the music: the X
# server's share then is the cost of filling the screen, once for each tick
# whose colour changed (counted from the colour log) and never for the others.
# Usage: playback_cpu.sh BIN_DIR [SECONDS] [--full-screen]
bin="$(cd "$1" && pwd)"
seconds="${2:-20}"
full=0
if [ "${3:-}" = --full-screen ]; then
  full=1 E2E_SCREEN_WIDTH=3840 E2E_SCREEN_HEIGHT=2160
fi
source "$(dirname "${BASH_SOURCE[0]}")/bench_session.sh"
"$bin/make_tone" "$E2E_DIR/short.wav" 440 1 || { echo "no make_tone in $bin" >&2; exit 1; }

# CPU time in nanoseconds of all threads of a process, from the scheduler's
# own accounting (finer than the 10 ms ticks of /proc/PID/stat).
cpu_ns() { cat /proc/"$1"/task/*/schedstat | awk '{sum += $1} END {print sum}'; }

# One line a thread: "tid name cpu_ns wake-ups" (wake-ups: voluntary switches).
threads() {
  local t name
  for t in /proc/"$1"/task/*; do
    name=$(tr ' ' _ <"$t/comm")
    [ "${t##*/}" = "$1" ] && name="$name(UI)"
    printf '%s %s %s %s\n' "${t##*/}" "$name" "$(cut -d' ' -f1 "$t/schedstat")" \
      "$(awk '/^voluntary_ctxt_switches/ {print $2}' "$t/status")"
  done 2>/dev/null
}

# measure LABEL SETTLE_SECONDS SETTINGS: starts the player on these settings,
# lets it settle, and prints its CPU (and the X server's) over $seconds.
measure() {
  local label="$1" settle="$2"
  printf '%b' "$3" >"$XDG_CONFIG_HOME/vbChromola.conf"
  rm -f "$E2E_DIR/colours.log"
  CHROMOLA_COLOUR_LOG="$E2E_DIR/colours.log" "$bin/Chromola" &
  pid=$!
  id=$(e2e_wait_window "Vazuvideroz (F1-Help)") || { echo "no window" >&2; exit 1; }
  [ "$full" = 0 ] || xdotool windowactivate --sync "$id" key F11
  sleep "$settle"
  [ "$full" = 0 ] || [ "$(e2e_client_size "$id")" = "3840 2160" ] ||
    { echo "not full screen: $(e2e_client_size "$id")" >&2; exit 1; }
  local logged0
  logged0=$(wc -l <"$E2E_DIR/colours.log")
  local p0 x0 t0 p1 x1 t1 hwm
  threads "$pid" >"$E2E_DIR/threads0"
  p0=$(cpu_ns "$pid"); x0=$(cpu_ns "$xpid"); t0=$(date +%s%N)
  sleep "$seconds"
  p1=$(cpu_ns "$pid"); x1=$(cpu_ns "$xpid"); t1=$(date +%s%N)
  threads "$pid" >"$E2E_DIR/threads1"
  # Ticks a second whose colour differs from the tick before.
  local changes
  changes=$(sed -n "$((logged0 + 1)),$(wc -l <"$E2E_DIR/colours.log")p" "$E2E_DIR/colours.log" |
    awk -v ms=$(((t1 - t0) / 1000000)) 'NR > 1 && $2 " " $3 " " $4 != last { n++ }
      { last = $2 " " $3 " " $4 } END { printf "%.1f", n * 1000 / ms }')
  hwm=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
  xdotool windowactivate --sync "$id" key alt+F4
  wait "$pid" || true
  awk -v label="$label" -v p=$((p1 - p0)) -v x=$((x1 - x0)) -v ms=$(((t1 - t0) / 1000000)) \
    -v hwm="$hwm" -v changes="$changes" 'BEGIN {
    printf "%-28s player %.2f %% of one core, X server %.2f %%, peak RSS %.1f MiB, %s colour changes a second\n",
           label, 100 * p / 1e6 / ms, 100 * x / 1e6 / ms, hwm / 1024, changes }'
  # Per thread, busiest first: CPU % of one core and wake-ups a second.
  awk -v ms=$(((t1 - t0) / 1000000)) 'NR == FNR {ns[$1] = $3; sw[$1] = $4; next}
    ($1 in ns) {printf "    %-18s %6.3f %%  %6.1f wake-ups/s\n", $2, 100 * ($3 - ns[$1]) / 1e6 / ms,
                       ($4 - sw[$1]) * 1000 / ms}' "$E2E_DIR/threads0" "$E2E_DIR/threads1" |
    sort -k2 -g -r
}

geometry='Left=1500\nTop=1500\nWidth=7200\nHeight=5000\n'
measure "playing a 60-s mp3:" 2 "[Form]\nPath=$E2E_DIR/music.mp3\n$geometry"
if [ "$full" = 1 ]; then
  "$bin/make_tone" "$E2E_DIR/steady.wav" 440 60
  measure "playing a steady tone:" 3 "[Form]\nPath=$E2E_DIR/steady.wav\n$geometry"
  exit 0
fi
# A one-second track, then the longest pause: the player rests between tracks.
measure "a finished track (pause):" 3 "[Form]\nPath=$E2E_DIR/short.wav\nPause=60\n$geometry"
measure "an empty playlist:" 2 "[Form]\n$geometry"
# Live mode on the same music played into the sink by another program.
paplay -d nullsink "$E2E_DIR/music.wav" &
e2e_pids+=($!)
measure "live, the same music:" 3 "[Form]\n${geometry}Live=1\nLiveSource=0\n"
kill "${e2e_pids[-1]}"

# The capture path's own latency, on the same sink with the player gone.
"$bin/libbass_capture_latency" 20 "$seconds"
