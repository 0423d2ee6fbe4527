#!/usr/bin/env bash
# Start-up and memory of the player against a bare Qt 6 window, measured in
# one session (Xvfb with openbox, PulseAudio with a null sink), the programs
# started in turn: exec until the window manager takes the window, exec until
# the player's sound-server stream appears and until it runs (uncorked:
# sound), and the peak resident memory two seconds after that. The player
# starts with a saved track, a 60-s mp3 made by make_tone. Prints the medians
# and their ratios against the bare window. Players of other builds (folders
# holding Chromola and libbass.so) are measured in the same rounds.
# Usage: startup_ratio.sh BIN_DIR [RUNS [OTHER_PLAYER_DIR...]]
bin="$(cd "$1" && pwd)"
runs="${2:-11}"
players=("$bin")
for dir in "${@:3}"; do players+=("$(cd "$dir" && pwd)"); done
for tool in bench_bare_window bench_launch_probe make_tone; do
  [ -x "$bin/$tool" ] || { echo "no $tool in $bin" >&2; exit 1; }
done
for dir in "${players[@]}"; do
  [ -x "$dir/Chromola" ] || { echo "no Chromola in $dir" >&2; exit 1; }
done
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/e2e/session.sh"
e2e_start_x
e2e_start_sound
# A desktop session has a session bus: the media controls and the
# accessibility bridge connect to it during the start.
e2e_start_bus

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

# Round 0 is a warm-up, not counted: the first start reads every library
# from disk.
for n in $(seq 0 "$runs"); do
  [ "$n" = 0 ] && out=warmup || out=runs
  run "bare.$out" --settle 2 -- "$bin/bench_bare_window"
  for p in "${!players[@]}"; do
    printf '[Form]\nPath=%s\nPause=0\n' "$track" >"$XDG_CONFIG_HOME/vbChromola.conf"
    run "player$p.$out" --sound --settle 2 -- "${players[$p]}/Chromola"
  done
done

printf '%s runs each, medians; ratios against the bare window\n' "$runs"
args=("$E2E_DIR/bare.runs")
for p in "${!players[@]}"; do args+=("${players[$p]}" "$E2E_DIR/player$p.runs"); done
python3 - "${args[@]}" <<'PY'
import statistics, sys

def medians(path):
    values = {}
    for line in open(path):
        key, value = line.split()[:2]
        if value != "none":
            values.setdefault(key, []).append(float(value))
    if "window_ms" in values and "sound_ms" in values:
        values["gap_ms"] = [s - w for w, s in zip(values["window_ms"], values["sound_ms"])]
    return {k: statistics.median(v) for k, v in values.items()}

bare = medians(sys.argv[1])
rows = [("bare Qt window", bare)]
rows += [(f"Chromola {sys.argv[i]}", medians(sys.argv[i + 1])) for i in range(2, len(sys.argv), 2)]
keys = [("window_ms", "exec>window ms"), ("stream_ms", "exec>stream ms"),
        ("sound_ms", "exec>sound ms"), ("gap_ms", "window>sound ms")]
print(" | ".join(["program"] + [h for _, h in keys] + ["peak RSS MiB", "window x bare",
                                                       "RSS x bare (+MiB)"]))
for name, m in rows:
    cells = [name] + [f"{m[k]:.1f}" if k in m else "-" for k, _ in keys]
    rss = m["peak_rss_kib"] / 1024
    cells.append(f"{rss:.1f}")
    cells.append(f"{m['window_ms'] / bare['window_ms']:.2f}x")
    cells.append(f"{m['peak_rss_kib'] / bare['peak_rss_kib']:.2f}x "
                 f"(+{rss - bare['peak_rss_kib'] / 1024:.1f})")
    print(" | ".join(cells))
PY
