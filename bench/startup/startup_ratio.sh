#!/usr/bin/env bash
# Start-up and memory of the player against a bare Qt 6 window, measured in
# one session (Xvfb with openbox, PulseAudio with a null sink), the two
# programs started in turn: exec until the window manager takes the window,
# exec until the player's sound-server stream appears and until it runs
# (uncorked: sound), and the peak resident memory two seconds after that.
# The player starts with a saved track, a 60-s mp3 made by make_tone.
# Prints the medians and their ratios against the bare window.
# Usage: startup_ratio.sh BIN_DIR [RUNS]
bin="$(cd "$1" && pwd)"
runs="${2:-11}"
for tool in Chromola bench_bare_window bench_launch_probe make_tone; do
  [ -x "$bin/$tool" ] || { echo "no $tool in $bin" >&2; exit 1; }
done
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/e2e/session.sh"
e2e_start_x
e2e_start_sound

track="$E2E_DIR/track.mp3"
"$bin/make_tone" "$track" 440 60 || { echo "make_tone could not write an mp3" >&2; exit 1; }
mkdir -p "$XDG_CONFIG_HOME"

# run NAME PROBE_OPTIONS... -- PROGRAM: one start, its "key value" lines
# appended to $E2E_DIR/NAME.
run() {
  local name="$1"
  shift
  "$bin/bench_launch_probe" "$@" >"$E2E_DIR/one" || { cat "$E2E_DIR/one" >&2; exit 1; }
  cat "$E2E_DIR/one" >>"$E2E_DIR/$name"
}

# A warm-up of each, not counted: the first start reads every library from
# disk.
for n in $(seq 0 "$runs"); do
  [ "$n" = 0 ] && out=warmup || out=runs
  run "bare.$out" --settle 2 -- "$bin/bench_bare_window"
  printf '[Form]\nPath=%s\nPause=0\n' "$track" >"$XDG_CONFIG_HOME/vbChromola.conf"
  run "player.$out" --sound --settle 2 -- "$bin/Chromola"
done

# median FILE KEY: the median of KEY's values, "-" when there are none.
median() {
  awk -v key="$2" '$1 == key && $2 != "none" {print $2}' "$1" | sort -g |
    awk '{v[NR] = $1} END {if (NR == 0) print "-"; else print v[int((NR + 1) / 2)]}'
}
# window to sound, per run, for the player.
awk '$1 == "window_ms" {w = $2} $1 == "sound_ms" && w != "none" && $2 != "none" {
  print "gap_ms", $2 - w}' "$E2E_DIR/player.runs" >>"$E2E_DIR/player.runs"

for name in bare player; do
  for key in window_ms stream_ms sound_ms gap_ms peak_rss_kib; do
    printf -v "${name}_${key}" '%s' "$(median "$E2E_DIR/$name.runs" "$key")"
  done
done
printf '%s runs each, medians\n' "$runs"
awk -v bw="$bare_window_ms" -v br="$bare_peak_rss_kib" -v pw="$player_window_ms" \
  -v ps="$player_stream_ms" -v pn="$player_sound_ms" -v pg="$player_gap_ms" \
  -v pr="$player_peak_rss_kib" 'BEGIN {
  printf "%-16s %14s %14s %14s %15s %13s\n", "", "exec>window ms", "exec>stream ms",
         "exec>sound ms", "window>sound ms", "peak RSS MiB"
  printf "%-16s %14.1f %14s %14s %15s %13.1f\n", "bare Qt window", bw, "-", "-", "-", br / 1024
  printf "%-16s %14.1f %14.1f %14.1f %15.1f %13.1f\n", "Chromola", pw, ps, pn, pg, pr / 1024
  printf "%-16s %13.2fx %14s %14s %15s %12.2fx (+%.1f MiB)\n", "Chromola / bare", pw / bw, "", "",
         "", pr / br, (pr - br) / 1024
}'
