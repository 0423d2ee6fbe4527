#!/usr/bin/env bash
# What the remote costs the real player: its CPU time while a drum loop
# plays (a new colour every tick) with the remote on and no phone, then with
# five phones reading everything it sends, under Xvfb and a PulseAudio null
# sink as in the end-to-end tests. Then the server alone (remote_bench
# server): its thread's CPU and the age of the colour a phone receives.
# Usage: remote_bench.sh BIN_DIR [SECONDS]
bin="$1"
seconds="${2:-20}"
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/e2e/session.sh"
e2e_start_x
e2e_start_sound
"$bin/make_tone" "$E2E_DIR/drums.wav" drums 174 $((seconds * 3)) || fail "cannot write the drums"
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
e2e_form Left=1500 Top=1500 Width=7200 Height=5000 Remote=1 "RemotePort=$port"
e2e_player "$E2E_DIR/drums.wav"
secret="$XDG_CONFIG_HOME/chromola/remote-secret"
e2e_until test -s "$secret" || fail "no secret kept"
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
sleep 2
a=$(ticks)
sleep "$seconds"
b=$(ticks)
"$bin/remote_bench" phones "http://127.0.0.1:$port/#k=$(cat "$secret")" "$seconds"
c=$(ticks)
awk -v a="$a" -v b="$b" -v c="$c" -v hz="$hz" -v s="$seconds" 'BEGIN {
  printf "player CPU, remote on, no phone:   %.2f %% of one core\n", 100 * (b - a) / hz / s
  printf "player CPU, five phones:           %.2f %% of one core\n", 100 * (c - b) / hz / s
  printf "added by five phones:              %.2f %% of one core\n", 100 * ((c - b) - (b - a)) / hz / s }'
e2e_close
"$bin/remote_bench" server "$seconds"
