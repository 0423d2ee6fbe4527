#!/usr/bin/env bash
# The real player under Xvfb: idle window colour, closing with status 0, the
# missing-library box, a second instance, NumLock around a run, the signals
# that end it with its settings saved, the window's outer geometry through
# restarts, resizes and scale factors, the command line's answers, and files
# opened from outside reaching one player.
# Usage: startup_test.sh BIN_DIR CASE
bin="$1"
case_name="$2"
source "$(dirname "${BASH_SOURCE[0]}")/session.sh"
e2e_start_x
e2e_start_sound

# The stored outer geometry in pixels (15 units a pixel), as e2e_frame
# prints a frame.
stored_frame() {
  awk -F= '/^(Left|Top|Width|Height)=/ {v[$1] = int($2 / 15)}
    END {print v["Left"], v["Top"], v["Width"], v["Height"]}' "$E2E_CONF"
}
frame_is() { [ "$(e2e_frame "$id")" = "$1" ]; }
client_is() { [ "$(e2e_client_size "$id")" = "$1" ]; }

# The whole frame lies on the screen.
frame_on_screen() {
  local x y w h
  read -r x y w h < <(e2e_frame "$id")
  [ "$x" -ge 0 ] && [ "$y" -ge 0 ] &&
    [ $((x + w)) -le "$E2E_SCREEN_WIDTH" ] && [ $((y + h)) -le "$E2E_SCREEN_HEIGHT" ]
}

# The file button's face shows on the screen left of its caption, found
# from the window's bottom-right corner, where the panel sits, at scale $1.
file_button_shows() {
  local r g b
  read -r r g b < <(e2e_pixel root $(xwininfo -id "$id" | awk -v s="$1" '
    /Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
    /Width:/ {w = $NF} /Height:/ {h = $NF}
    END {printf "%d %d", x + w - (154 - 76) * s, y + h - (292 - 272) * s}'))
  [ $((${r:-0} + ${g:-0} + ${b:-0})) -gt 300 ]
}

case "$case_name" in
idle_window)
  e2e_player
  sleep 0.5
  e2e_check_idle_look
  e2e_close
  [ -f "$E2E_CONF" ] || fail "settings not written at exit"
  ;;
missing_library)
  # Without the library beside the program: one box, no main window.
  mkdir -p "$E2E_DIR/nolib"
  cp "$bin/Chromola" "$E2E_DIR/nolib/"
  "$E2E_DIR/nolib/Chromola" &
  pid=$!
  box=$(e2e_wait_window "Chromola") || fail "no message box"
  [ -z "$(e2e_windows "$E2E_TITLE")" ] || fail "main window shown without the library"
  xdotool windowactivate --sync "$box" key Return
  wait "$pid" && fail "exit status 0 without the library"
  ;;
second_instance)
  e2e_player
  timeout 10 "$bin/Chromola" || fail "second instance ended with status $?"
  count=$(e2e_windows "$E2E_TITLE" | wc -l)
  [ "$count" = 1 ] || fail "$count main windows"
  kill -0 "$pid" || fail "first instance gone"
  e2e_close
  ;;
numlock)
  # On while the player runs, as it was before afterwards.
  for before in off on; do
    [ "$(e2e_numlock)" = "$before" ] || xdotool key Num_Lock
    [ "$(e2e_numlock)" = "$before" ] || fail "cannot switch NumLock $before"
    e2e_player
    [ "$(e2e_numlock)" = on ] || fail "NumLock not on while the player runs (was $before)"
    e2e_close
    [ "$(e2e_numlock)" = "$before" ] || fail "NumLock not $before again at exit"
  done
  ;;
signals)
  # A logout, Ctrl+C or kill ends the player as closing its window does.
  [ "$(e2e_numlock)" = off ] || xdotool key Num_Lock
  scroll=17
  for signal in TERM INT HUP; do
    e2e_player
    xdotool windowactivate --sync "$id" key plus >/dev/null 2>&1
    scroll=$((scroll + 1))
    sleep 0.3
    kill -"$signal" "$pid"
    e2e_ended "$pid" "SIG$signal"
    grep -q "^Scroll=$scroll$" "$E2E_CONF" || fail "brightness not saved at SIG$signal"
    [ "$(e2e_numlock)" = off ] || fail "NumLock left on after SIG$signal"
  done
  ;;
window_round_trip)
  # The outer geometry, as stored and as on screen, stays the same through
  # restarts and through full screen and back. Each row: the key that leaves
  # full screen, the frame, the stored values (none: a first start, half
  # the work area centred in it).
  for row in "F11 320 200 640 400 -" \
    "Escape 100 120 600 400 Left=1500 Top=1800 Width=9000 Height=6000"; do
    read -r key x y w h settings <<<"$row"
    want="$x $y $w $h"
    e2e_form $settings
    for run in 1 2 3 4; do
      e2e_player
      e2e_until frame_is "$want" || fail "start $run: frame $(e2e_frame "$id"), not $want"
      if [ "$run" = 1 ]; then
        xdotool windowactivate --sync "$id" key F11
        e2e_until frame_is "0 0 $E2E_SCREEN_WIDTH $E2E_SCREEN_HEIGHT" ||
          fail "F11: frame $(e2e_frame "$id") is not the whole screen"
        xdotool key "$key"
        e2e_until frame_is "$want" || fail "F11, $key: frame $(e2e_frame "$id"), not $want"
      fi
      e2e_close
      [ "$(stored_frame)" = "$want" ] || fail "start $run: stored $(stored_frame), not $want"
    done
  done
  ;;
first_resize)
  # A resize soon after the window shows is kept, and stored at exit.
  for settings in - "Left=1500 Top=1800 Width=9000 Height=6000"; do
    e2e_form $settings
    e2e_player
    e2e_until frame_on_screen || fail "window not on screen"
    sleep 1
    xdotool windowsize "$id" 1000 700
    e2e_until client_is "1000 700" || fail "size $(e2e_client_size "$id") after the resize"
    sleep 1
    client_is "1000 700" || fail "size $(e2e_client_size "$id") a while after the resize"
    frame=$(e2e_frame "$id")
    e2e_close
    [ "$(stored_frame)" = "$frame" ] || fail "stored $(stored_frame), frame $frame"
  done
  ;;
oversized_window)
  # Geometry larger than the work area, stored or from a scaled first start,
  # is fitted into it: the whole frame and the file button in the panel's
  # bottom row show. Each row: QT_SCALE_FACTOR, then the stored values.
  for row in "1 Left=15 Top=15 Width=491505 Height=491505" "2 -"; do
    read -r scale settings <<<"$row"
    e2e_form $settings
    QT_SCALE_FACTOR=$scale e2e_player
    e2e_until frame_on_screen || fail "scale $scale: frame $(e2e_frame "$id") off screen"
    e2e_until file_button_shows "$scale" || fail "scale $scale: file button not on screen"
    e2e_close
  done
  ;;
command_line)
  # Answers that need no display; an option not understood is a misuse.
  out=$(env -u DISPLAY "$bin/Chromola" --help) || fail "--help failed"
  grep -q -- "--version" <<<"$out" || fail "no options in the help: $out"
  out=$(env -u DISPLAY "$bin/Chromola" --version) || fail "--version failed"
  [[ "$out" =~ ^Chromola\ [0-9]+\.[0-9]+ ]] || fail "version '$out'"
  status=0
  env -u DISPLAY "$bin/Chromola" --bogus a.mp3 >"$E2E_DIR/out" 2>"$E2E_DIR/err" || status=$?
  [ "$status" = 2 ] || fail "misuse ended with status $status"
  [ -s "$E2E_DIR/out" ] && fail "misuse printed to standard output"
  grep -q -- "--bogus" "$E2E_DIR/err" || fail "misuse not named: $(cat "$E2E_DIR/err")"
  ;;
open_files)
  # A file manager opens files of two folders with one start per file, all
  # at once: one start becomes the player, the others hand their files over
  # and end. Later starts hand theirs to the running player (a folder stands
  # for its audio files), which comes to the front.
  mkdir -p "$E2E_DIR/one" "$E2E_DIR/two" "$E2E_DIR/three"
  for f in one/a.wav one/b.wav two/c.wav three/d.wav three/e.wav; do : >"$E2E_DIR/$f"; done
  close_and_check_list() {
    e2e_close
    grep -qF "$E2E_DIR\\0$1\\0\\0" "$E2E_CONF" || fail "stored: $(grep Path "$E2E_CONF")"
  }
  starts=()
  for f in one/b.wav two/c.wav one/a.wav; do
    "$bin/Chromola" "$E2E_DIR/$f" &
    starts+=($!)
  done
  id=$(e2e_wait_window "$E2E_TITLE") || fail "main window did not appear"
  pid=$(xdotool getwindowpid "$id")
  for start in "${starts[@]}"; do
    [ "$start" = "$pid" ] || e2e_ended "$start" "handing a file over"
  done
  sleep 1
  close_and_check_list 'one/a.wav\0one/b.wav\0two/c.wav'

  e2e_player
  xdotool windowminimize --sync "$id"
  (cd "$E2E_DIR" && "$bin/Chromola" three) &
  first=$!
  (cd "$E2E_DIR" && "$bin/Chromola" two/c.wav) || fail "a start that handed over failed"
  wait "$first" || fail "a start that handed over failed"
  e2e_wait_window "$E2E_TITLE" 30 >/dev/null || fail "the player did not come back"
  [ "$(xdotool getactivewindow)" = "$id" ] || fail "the player is not in front"
  close_and_check_list 'three/d.wav\0three/e.wav\0two/c.wav'
  ;;
*)
  fail "unknown case $case_name"
  ;;
esac
echo "PASS: $case_name"
