#!/usr/bin/env bash
# Soak: the player plays for MINUTES (30) with its window visible and logs
# every tick it shows (CHROMOLA_COLOUR_LOG), while its resident memory is
# read every 30 s. Then it prints
#   - the share of the expected ticks (one each 17 ms) that were shown, goal
#     at least 99.9 %, and the gaps between ticks: a gap over 51 ms is a tick
#     more than 34 ms after its time;
#   - the memory's growth per hour, a least-squares line through the samples
#     after the first tenth of the run (start-up and first caches left out),
#     goal under 0.5 MB an hour.
# By default one long mp3 plays. With --list, a list of short files of every
# format (wav, aif, flac, ogg, mp3, mp2, a module; about 23 s each) plays
# round and round with no pause, so that hours of play open and close
# thousands of streams; the ticks between two tracks are not expected then
# and count in the gaps only. With --load N, N busy processes at the user's
# normal priority run beside the player. --set NAME=VALUE adds a stored
# setting (BeatAccent=1: every track is analysed for its beats as it
# starts, the next one ahead). Xvfb with openbox, sound into a PulseAudio
# null sink.
# Usage: colour_soak.sh BIN_DIR [--minutes MINUTES] [--load N] [--list] [--set NAME=VALUE]...
bin="$(cd "$1" && pwd)"
shift
minutes=30 load=0 list=0 settings=()
while [ $# -gt 0 ]; do
  case "$1" in
    --minutes) minutes="$2"; shift 2 ;;
    --load) load="$2"; shift 2 ;;
    --list) list=1; shift ;;
    --set) settings+=("$2"); shift 2 ;;
    *) echo "usage: colour_soak.sh BIN_DIR [--minutes MINUTES] [--load N] [--list] [--set NAME=VALUE]..." >&2; exit 2 ;;
  esac
done
here="$(dirname "${BASH_SOURCE[0]}")"
source "$here/../../tests/e2e/session.sh"
e2e_start_x
e2e_start_sound

files=()
if [ "$list" = 1 ]; then
  frequency=110
  for ext in wav aif flac ogg mp3 mp2; do
    "$bin/make_tone" "$E2E_DIR/tone.$ext" "$frequency" 23 || exit 1
    files+=("$E2E_DIR/tone.$ext")
    frequency=$((frequency * 2))
  done
  "$bin/make_tone" "$E2E_DIR/song.mod" module 3 || exit 1
  files+=("$E2E_DIR/song.mod")
  e2e_form Pause=0 Left=1500 Top=1500 Width=7200 Height=5000 "${settings[@]}"
else
  # One minute longer than the soak, so that the track never ends within it.
  python3 "$here/music.py" "$E2E_DIR/music.wav" $((minutes + 1))
  lame --quiet -b 192 "$E2E_DIR/music.wav" "$E2E_DIR/music.mp3"
  rm "$E2E_DIR/music.wav"
  e2e_form "Path=$E2E_DIR/music.mp3" Left=1500 Top=1500 Width=7200 Height=5000 "${settings[@]}"
fi

for _ in $(seq "$load"); do
  sh -c 'while :; do :; done' &
  e2e_pids+=($!)
done
log="$E2E_DIR/colours.log"
memory="$E2E_DIR/memory.log"
CHROMOLA_COLOUR_LOG="$log" e2e_player "${files[@]}"
# The first seconds (start-up, the stream filling) are left out.
sleep 2
start=$(tail -n 1 "$log" | cut -d' ' -f1)
end=$((SECONDS + minutes * 60))
while [ $SECONDS -lt $end ]; do
  echo "$SECONDS $(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status")" >>"$memory"
  sleep $((end - SECONDS < 30 ? end - SECONDS : 30))
done
e2e_close

awk -v start="$start" -v ms=$((minutes * 60000)) -v load="$load" -v list="$list" \
  -v set="${settings[*]:+ with ${settings[*]}}" '
  $1 < start { next }
  $1 > start + ms { exit }
  { if (n > 0) { gap = $1 - last; if (gap > longest) longest = gap; if (gap > 51) over51++;
                 if (gap > 100) over100++ }
    last = $1; n++ }
  END {
    expected = ms / 17 + 1
    printf "%d min%s%s, %d busy processes beside: %d of %d ticks shown (%.3f %%), longest gap %d ms, %d gaps over 51 ms, %d over 100 ms\n",
           ms / 60000, list ? " of a list of short files" : "", set, load, n, expected, 100 * n / expected,
           longest, over51, over100
  }' "$log"
awk -v skip=$((minutes * 6)) '
  $1 < skip { next }
  { n++; sx += $1; sy += $2; sxx += $1 * $1; sxy += $1 * $2; if ($2 > peak) peak = $2
    if (n == 1) first = $2; last = $2 }
  END {
    if (n < 2) { print "memory: too few samples"; exit }
    slope = (n * sxy - sx * sy) / (n * sxx - sx * sx)
    printf "memory: %.1f MB after the first tenth, %.1f MB at the end, peak %.1f MB; growth %.3f MB an hour (%d samples)\n",
           first / 1024, last / 1024, peak / 1024, slope * 3600 / 1024, n
  }' "$memory"
