#!/usr/bin/env bash
# Start-up time and idle memory of the real player under Xvfb (openbox) with a
# PulseAudio null sink: the time from exec until the main window is mapped,
# and the peak resident memory of a player that starts, idles and closes.
# Usage: startup_bench.sh BIN_DIR [RUNS]
bin="$(cd "$1" && pwd)"
runs="${2:-10}"
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/e2e/session.sh"
e2e_start_x
e2e_start_sound

title="Vazuvideroz (F1-Help)"
# Map events of the root's children (the window manager's frames) and of
# everything below them, each stamped on arrival.
watch_maps() {
  xev -root -event substructure 2>/dev/null | while IFS= read -r line; do
    case "$line" in MapNotify*|ReparentNotify*) echo "$(date +%s%N) $line" ;; esac
  done
}

times=()
rss=()
for i in $(seq "$runs"); do
  rm -f "$XDG_CONFIG_HOME/vbChromola.conf"
  log="$E2E_DIR/maps.$i"
  watch_maps >"$log" &
  watcher=$!
  sleep 0.3
  start=$(date +%s%N)
  /usr/bin/time -f "%M" -o "$E2E_DIR/rss.$i" "$bin/Chromola" &
  pid=$!
  id=$(e2e_wait_window "$title" 100) || { echo "window did not appear" >&2; exit 1; }
  sleep 0.3
  mapped=$(sed -n 's/^\([0-9]*\) MapNotify.*/\1/p' "$log" | head -n 1)
  kill "$watcher" 2>/dev/null; pkill -P "$watcher" 2>/dev/null || true
  xdotool windowactivate --sync "$id" key alt+F4
  wait "$pid" || true
  times+=($(( (mapped - start) / 1000000 )))
  rss+=($(cat "$E2E_DIR/rss.$i"))
done

printf 'exec to window mapped (ms): %s\n' "${times[*]}"
printf 'peak RSS (KiB):             %s\n' "${rss[*]}"
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "median start-up: ${sorted[$(( ${#sorted[@]} / 2 ))]} ms (goal 100 ms, Audacious 101 ms)"
sorted=($(printf '%s\n' "${rss[@]}" | sort -n))
echo "median peak RSS: $(( ${sorted[$(( ${#sorted[@]} / 2 ))]} / 1024 )) MiB (goal 30 MB, Audacious 38.7 MB)"
