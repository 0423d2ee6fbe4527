#!/usr/bin/env bash
# Soak: the player plays one long mp3 for MINUTES (30) with its window
# visible and logs every tick it shows (CHROMOLA_COLOUR_LOG); then the share
# of the expected ticks (one each 17 ms) that were shown, goal at least
# 99.9 %, and the gaps between ticks, goal none over 100 ms (over 50 ms
# under load). With --load N, N busy processes at the user's normal priority
# run beside the player. Xvfb with openbox, sound into a PulseAudio null sink.
# Usage: colour_soak.sh BIN_DIR [--minutes MINUTES] [--load N]
bin="$(cd "$1" && pwd)"
shift
minutes=30 load=0
while [ $# -gt 0 ]; do
  case "$1" in
    --minutes) minutes="$2"; shift 2 ;;
    --load) load="$2"; shift 2 ;;
    *) echo "usage: colour_soak.sh BIN_DIR [--minutes MINUTES] [--load N]" >&2; exit 2 ;;
  esac
done
here="$(dirname "${BASH_SOURCE[0]}")"
source "$here/../../tests/e2e/session.sh"
e2e_start_x
e2e_start_sound
# One minute longer than the soak, so that the track never ends within it.
python3 "$here/music.py" "$E2E_DIR/music.wav" $((minutes + 1))
lame --quiet -b 192 "$E2E_DIR/music.wav" "$E2E_DIR/music.mp3"
rm "$E2E_DIR/music.wav"
e2e_form "Path=$E2E_DIR/music.mp3" Left=1500 Top=1500 Width=7200 Height=5000

for _ in $(seq "$load"); do
  sh -c 'while :; do :; done' &
  e2e_pids+=($!)
done
log="$E2E_DIR/colours.log"
CHROMOLA_COLOUR_LOG="$log" e2e_player
# The first seconds (start-up, the stream filling) are left out.
sleep 2
start=$(tail -n 1 "$log" | cut -d' ' -f1)
sleep $((minutes * 60))
e2e_close

awk -v start="$start" -v ms=$((minutes * 60000)) -v load="$load" '
  $1 < start { next }
  $1 > start + ms { exit }
  { if (n > 0) { gap = $1 - last; if (gap > longest) longest = gap; if (gap > 50) over50++;
                 if (gap > 100) over100++ }
    last = $1; n++ }
  END {
    expected = ms / 17 + 1
    printf "%d min, %d busy processes beside: %d of %d ticks shown (%.3f %%), longest gap %d ms, %d gaps over 50 ms, %d over 100 ms\n",
           ms / 60000, load, n, expected, 100 * n / expected, longest, over50, over100
  }' "$log"
