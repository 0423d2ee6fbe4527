#!/usr/bin/env bash
# A start with 50,000 entries saved against a start with an empty list, in
# one session (Xvfb with openbox, PulseAudio with a null sink): exec until
# the window manager takes the window and until the saved entry sounds
# (bench_launch_probe), medians of RUNS starts each, alternated. The entries
# are real files (hard links to one short wav in nested folders under /tmp),
# so that checking them touches the file system. Then the same list in the
# real main window (offscreen): each action on the list with its repaint,
# and the save of the list at the close.
# Usage: saved_list_bench.sh BIN_DIR [RUNS [COUNT]]
bin="$(cd "$1" && pwd)"
runs="${2:-7}"
count="${3:-50000}"
for tool in bench_launch_probe bench_saved_list make_tone Chromola; do
  [ -x "$bin/$tool" ] || { echo "no $tool in $bin" >&2; exit 1; }
done
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/e2e/session.sh"
e2e_start_x
e2e_start_sound
e2e_start_bus
mkdir -p "$XDG_CONFIG_HOME"

"$bin/make_tone" "$E2E_DIR/tone.wav" 440 30
"$bin/bench_saved_list" make "$E2E_DIR/music" "$count" "$E2E_DIR/tone.wav" || exit 1
cp "$E2E_CONF" "$E2E_DIR/saved.conf"
printf '[Form]\nPause=0\n' >"$E2E_DIR/empty.conf"

for n in $(seq 0 "$runs"); do
  for list in empty saved; do
    cp "$E2E_DIR/$list.conf" "$E2E_CONF"
    "$bin/bench_launch_probe" --sound --settle 1 -- "$bin/Chromola" >"$E2E_DIR/one" ||
      { cat "$E2E_DIR/one" >&2; exit 1; }
    [ "$n" = 0 ] || cat "$E2E_DIR/one" >>"$E2E_DIR/$list.runs"
  done
done

cp "$E2E_DIR/saved.conf" "$E2E_CONF"
QT_QPA_PLATFORM=offscreen "$bin/bench_saved_list" widget >"$E2E_DIR/widget" || exit 1

python3 - "$E2E_DIR/empty.runs" "$E2E_DIR/saved.runs" "$E2E_DIR/widget" "$runs" "$count" <<'PY'
import statistics, sys

def medians(path):
    values = {}
    for line in open(path):
        key, value = line.split()[:2]
        if value != "none":
            values.setdefault(key, []).append(float(value))
    return {k: statistics.median(v) for k, v in values.items()}

empty, saved = medians(sys.argv[1]), medians(sys.argv[2])
print(f"start, {sys.argv[4]} runs each, medians:")
print(f"  window  empty list {empty['window_ms']:.1f} ms, {sys.argv[5]} saved "
      f"{saved['window_ms']:.1f} ms: {saved['window_ms'] / empty['window_ms']:.2f}x (goal <= 1.25x)")
print(f"  sound   saved entry at {saved['sound_ms']:.1f} ms from exec, "
      f"{saved['sound_ms'] - saved['window_ms']:.1f} ms after the window (goal <= 300 ms)")
print("list widget (real window, offscreen), per action with its repaint:")
for line in open(sys.argv[3]):
    print("  " + line.rstrip())
PY
