#!/usr/bin/env bash
# CPU share of one core used by the player and by the X server while the
# player plays a 60-second mp3 with its window visible, while it rests in the
# pause after a finished track, and with an empty playlist; and the player's
# peak resident memory. Xvfb with openbox, sound into a PulseAudio null sink.
# Usage: playback_cpu.sh BIN_DIR [SECONDS]
bin="$(cd "$1" && pwd)"
seconds="${2:-20}"
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/e2e/session.sh"
e2e_start_x
e2e_start_sound

# A minute of music-like sound: a bass line, a chord and a hi-hat.
python3 "$(dirname "${BASH_SOURCE[0]}")/music.py" "$E2E_DIR/music.wav"
lame --quiet -b 192 "$E2E_DIR/music.wav" "$E2E_DIR/music.mp3"

mkdir -p "$XDG_CONFIG_HOME"
"$bin/make_tone" "$E2E_DIR/short.wav" 440 1 || { echo "no make_tone in $bin" >&2; exit 1; }
xpid=$(pgrep -f "Xvfb $DISPLAY" | head -n 1)

# CPU time in nanoseconds of all threads of a process, from the scheduler's
# own accounting (finer than the 10 ms ticks of /proc/PID/stat).
cpu_ns() { cat /proc/"$1"/task/*/schedstat | awk '{sum += $1} END {print sum}'; }

# measure LABEL SETTLE_SECONDS SETTINGS: starts the player on these settings,
# lets it settle, and prints its CPU (and the X server's) over $seconds.
measure() {
  local label="$1" settle="$2"
  printf '%b' "$3" >"$XDG_CONFIG_HOME/vbChromola.conf"
  "$bin/Chromola" &
  pid=$!
  id=$(e2e_wait_window "Vazuvideroz (F1-Help)") || { echo "no window" >&2; exit 1; }
  sleep "$settle"
  local p0 x0 t0 p1 x1 t1 hwm
  p0=$(cpu_ns "$pid"); x0=$(cpu_ns "$xpid"); t0=$(date +%s%N)
  sleep "$seconds"
  p1=$(cpu_ns "$pid"); x1=$(cpu_ns "$xpid"); t1=$(date +%s%N)
  hwm=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
  xdotool windowactivate --sync "$id" key alt+F4
  wait "$pid" || true
  awk -v label="$label" -v p=$((p1 - p0)) -v x=$((x1 - x0)) -v ms=$(((t1 - t0) / 1000000)) \
    -v hwm="$hwm" 'BEGIN {
    printf "%-28s player %.2f %% of one core, X server %.2f %%, peak RSS %.1f MiB\n",
           label, 100 * p / 1e6 / ms, 100 * x / 1e6 / ms, hwm / 1024 }'
}

geometry='Left=1500\nTop=1500\nWidth=7200\nHeight=5000\n'
measure "playing a 60-s mp3:" 2 "[Form]\nPath=$E2E_DIR/music.mp3\n$geometry"
# A one-second track, then the longest pause: the player rests between tracks.
measure "a finished track (pause):" 3 "[Form]\nPath=$E2E_DIR/short.wav\nPause=60\n$geometry"
measure "an empty playlist:" 2 "[Form]\n$geometry"
