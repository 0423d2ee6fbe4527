#!/usr/bin/env bash
# Where the player's processor time and wake-ups go while it plays a 60-s
# mp3 with its window visible: CPU % of one core and voluntary context
# switches a second (each one a sleep and a wake-up) for each of its threads,
# the whole player, and the X server and the sound server over the same
# window. Xvfb with openbox, sound into a PulseAudio null sink; medians of
# RUNS starts. Players of other builds (folders holding Chromola and
# libbass.so) are measured in the same rounds, each in a column of its own.
# Usage: playback_threads.sh BIN_DIR [SECONDS [RUNS [OTHER_PLAYER_DIR...]]]
bin="$(cd "$1" && pwd)"
seconds="${2:-20}"
runs="${3:-3}"
players=("$bin")
for dir in "${@:4}"; do players+=("$(cd "$dir" && pwd)"); done
[ -x "$bin/bench_launch_probe" ] || { echo "no bench_launch_probe in $bin" >&2; exit 1; }
source "$(dirname "${BASH_SOURCE[0]}")/bench_session.sh"
papid=$(cat "$XDG_RUNTIME_DIR/pulse/pid")

for n in $(seq "$runs"); do
  for p in "${!players[@]}"; do
    printf '[Form]\nPath=%s\nLeft=1500\nTop=1500\nWidth=7200\nHeight=5000\n' \
      "$E2E_DIR/music.mp3" >"$XDG_CONFIG_HOME/vbChromola.conf"
    "$bin/bench_launch_probe" --sound --settle 2 --measure "$seconds" --watch "X server=$xpid" \
      --watch "sound server=$papid" -- "${players[$p]}/Chromola" >"$E2E_DIR/one" || {
      cat "$E2E_DIR/one" >&2
      exit 1
    }
    cat "$E2E_DIR/one" >>"$E2E_DIR/runs.$p"
  done
done

printf 'playing a 60-s mp3, %s s, median of %s runs: CPU %% of one core / wake-ups a second\n' \
  "$seconds" "$runs"
# One row per thread name, then the player's total and the servers: medians
# of the runs' values.
args=()
for p in "${!players[@]}"; do args+=("${players[$p]}" "$E2E_DIR/runs.$p"); done
python3 - "${args[@]}" <<'PY'
import statistics, sys

def table(path):
    rows = {}
    for line in open(path):
        f = line.split()
        if f[0] == "thread":
            rows.setdefault(" ".join(f[1:-2]), []).append((float(f[-2]), float(f[-1])))
        elif f[0] == "total":
            rows.setdefault("(player, all threads)", []).append((float(f[1]), float(f[2])))
        elif f[0] == "watch":
            rows.setdefault(" ".join(f[1:-1]), []).append((float(f[-1]), None))
    out = {}
    for name, values in rows.items():
        cpu = statistics.median(v[0] for v in values)
        wake = [v[1] for v in values if v[1] is not None]
        out[name] = f"{cpu:.3f}" + (f" / {statistics.median(wake):.1f}" if wake else "")
    return out

builds = [(sys.argv[i], table(sys.argv[i + 1])) for i in range(1, len(sys.argv), 2)]
names = []
for _, t in builds:
    names += [n for n in t if n not in names and not n[0] == "(" and n not in ("X server", "sound server")]
names += ["(player, all threads)", "X server", "sound server"]
print(" | ".join(["thread"] + [b for b, _ in builds]))
for n in names:
    print(" | ".join([n] + [t.get(n, "-") for _, t in builds]))
PY
