#!/usr/bin/env bash
# Takes the README's pictures under Xvfb: the playing window (a low tone
# plays from a list of three, so the window shows the bass's red), the help
# window (F1) and the set-up window (F2) on its lights page.
# Usage: scripts/screenshot.sh [BUILD_DIR]  (writes resources/screenshot.png,
# help_window.png and setup_window.png)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="$(cd "${1:-$here/build}/bin" && pwd)"
out="$here/resources/screenshot.png"
help_out="$here/resources/help_window.png"
setup_out="$here/resources/setup_window.png"
source "$here/tests/e2e/session.sh"
e2e_start_x
e2e_start_sound

mkdir -p "$E2E_DIR/Тоны"
"$bin/make_tone" "$E2E_DIR/Тоны/01 Низкий.wav" 100 30
"$bin/make_tone" "$E2E_DIR/Тоны/02 Средний.wav" 1000 30
"$bin/make_tone" "$E2E_DIR/Тоны/03 Высокий.wav" 8000 30
printf '[Form]\nScroll=26\nLeft=1500\nTop=1500\nWidth=9000\nHeight=6000\n' >"$XDG_CONFIG_HOME/vbChromola.conf"
"$bin/Chromola" "$E2E_DIR/Тоны" &
pid=$!
id=$(e2e_wait_window "Vazuvideroz (F1-Help)") || fail "main window did not appear"
# The null sink may take a moment before it starts to take sound.
sleep 4
import -silent -window "$id" -strip -colors 64 "$out"
xdotool windowactivate --sync "$id" key F1
help=$(e2e_wait_window "Vazuvideroz HELP") || fail "help window did not appear"
import -silent -window "$help" -strip "$help_out"
xdotool windowactivate --sync "$id" key F2
setup=$(e2e_wait_window "Vazuvideroz SETUP") || fail "set-up window did not appear"
# The lights page: Ctrl+Tab twice from the first page.
xdotool windowactivate --sync "$setup" key ctrl+Tab ctrl+Tab
sleep 0.5
import -silent -window "$setup" -strip "$setup_out"
xdotool windowactivate --sync "$id" key alt+F4
wait "$pid"
for file in "$out" "$help_out" "$setup_out"; do
  echo "wrote $file ($(stat -c %s "$file") bytes)"
done
