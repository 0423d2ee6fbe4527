#!/usr/bin/env bash
# A folder tree of COUNT entries (default 50,000) opened as a new user with a
# whole music library would: hard links to a few real generated files of
# each format the player opens, in nested folders (artist / album / track),
# with some files that only look playable (garbage under an audio name) and
# some that are not audio at all (covers, notes).
#
# 1. The command line, in one session (Xvfb with openbox, PulseAudio with a
#    null sink): exec until the window manager takes the window and until
#    the first file sounds, and the peak memory once the tree is read
#    (bench_launch_probe), medians of RUNS starts; Audacious with the same
#    folder in the same run, alternated, when it is installed.
# 2. The opening itself in the real main window (offscreen), the way a drop
#    and a hand-over take too: the first entry started, the tree read, and
#    the longest the event loop was kept from a key meanwhile.
# Usage: big_folder_bench.sh BIN_DIR [RUNS [COUNT]]
bin="$(cd "$1" && pwd)"
runs="${2:-5}"
count="${3:-50000}"
for tool in bench_launch_probe bench_big_folder make_tone Chromola; do
  [ -x "$bin/$tool" ] || { echo "no $tool in $bin" >&2; exit 1; }
done
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/e2e/session.sh"
e2e_start_x
e2e_start_sound
e2e_start_bus
mkdir -p "$XDG_CONFIG_HOME"
printf '[Form]\nPause=0\n' >"$E2E_DIR/empty.conf"

mkdir -p "$E2E_DIR/real"
for ext in mp3 ogg flac wav opus mp2 aiff mod; do
  "$bin/make_tone" "$E2E_DIR/real/tone.$ext" 440 20 || exit 1
done
head -c 65536 /dev/urandom >"$E2E_DIR/real/garbage"
printf 'cover' >"$E2E_DIR/real/cover"
python3 - "$E2E_DIR/real" "$E2E_DIR/library" "$count" <<'PY'
import os, sys
real, root, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
audio = ["mp3", "ogg", "flac", "wav", "opus", "mp2", "aiff", "mod"]
made = 0
artist = 0
while made < count:
    artist += 1
    for album in range(1, 21):
        folder = os.path.join(root, f"Artist {artist}", f"Album {album}")
        os.makedirs(folder, exist_ok=True)
        for track in range(1, 101):
            if made >= count:
                break
            if track == 50:
                name, source = "cover.jpg", "cover"
            elif track == 75:
                name, source = "notes.txt", "cover"
            elif track == 90:
                name, source = f"{track} broken.mp3", "garbage"
            else:
                ext = audio[(made + track) % len(audio)]
                name, source = f"{track} Track.{ext}", f"tone.{ext}"
            os.link(os.path.join(real, source), os.path.join(folder, name))
            made += 1
PY
library="$E2E_DIR/library"
players=(ours)
command -v audacious >/dev/null && players+=(audacious)

for n in $(seq 0 "$runs"); do
  for p in "${players[@]}"; do
    if [ "$p" = ours ]; then
      cp "$E2E_DIR/empty.conf" "$E2E_CONF"
      cmd=("$bin/Chromola" "$library")
    else
      rm -rf "$HOME/.config/audacious"
      cmd=(audacious "$library")
    fi
    "$bin/bench_launch_probe" --sound --settle 4 -- "${cmd[@]}" >"$E2E_DIR/one" ||
      { cat "$E2E_DIR/one" >&2; exit 1; }
    [ "$n" = 0 ] || cat "$E2E_DIR/one" >>"$E2E_DIR/$p.runs"
  done
  # The opening alone, between the starts.
  [ "$n" = 0 ] || QT_QPA_PLATFORM=offscreen "$bin/bench_big_folder" "$library" >>"$E2E_DIR/open.runs" ||
    exit 1
done

python3 - "$E2E_DIR" "$runs" "$count" "${players[@]}" <<'PY'
import statistics, sys

def medians(path):
    values = {}
    for line in open(path):
        key, value = line.split()[:2]
        if value not in ("none", "-1.0"):
            values.setdefault(key, []).append(float(value))
    return {k: statistics.median(v) for k, v in values.items()}

folder, runs, count, players = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
print(f"a folder tree of {count} entries on the command line, {runs} starts each, medians:")
got = {p: medians(f"{folder}/{p}.runs") for p in players}
for p in players:
    g = got[p]
    print(f"  {p:9s} window {g['window_ms']:7.1f} ms  first sound {g.get('sound_ms', float('nan')):7.1f} ms"
          f"  peak memory {g['peak_rss_kib'] / 1024:5.1f} MB")
if "audacious" in got:
    a, o = got["audacious"], got["ours"]
    print(f"  ours / audacious: window {o['window_ms'] / a['window_ms']:.2f}x, first sound "
          f"{o['sound_ms'] / a['sound_ms']:.2f}x, peak memory {o['peak_rss_kib'] / a['peak_rss_kib']:.2f}x")
else:
    print("  (audacious is not installed: ours alone)")
print("  goals: first sound <= 500 ms, peak memory <= 45 MB")
o = medians(f"{folder}/open.runs")
print(f"the opening in the real window (as a drop or a hand-over), {runs} runs, medians:")
print(f"  first entry started {o['first_track_ms']:.1f} ms, tree read and listed {o['listed_ms']:.1f} ms "
      f"({o['entries']:.0f} entries), longest wait of a key {o['worst_stall_ms']:.1f} ms (goal < 100 ms)")
PY
