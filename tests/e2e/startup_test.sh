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

main_title="Vazuvideroz (F1-Help)"

# Closes the window as a user does (Alt+F4 through the window manager) and
# sets `status` to the process's exit status.
close_and_wait() {
  local id="$1" pid="$2"
  xdotool windowactivate --sync "$id" >/dev/null 2>&1 || true
  xdotool key alt+F4
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && fail "player still running after its window was closed"
  status=0
  wait "$pid" || status=$?
}

conf="$XDG_CONFIG_HOME/vbChromola.conf"

start_player() {
  "$bin/Chromola" &
  pid=$!
  id=$(e2e_wait_window "$main_title") || fail "main window did not appear"
}

# Writes a settings file of [Form] values NAME=VALUE, or none for "-".
write_settings() {
  rm -f "$conf"
  if [ "$1" != - ]; then
    printf '[Form]\n' >"$conf"
    printf '%s\n' "$@" >>"$conf"
  fi
}

# The stored outer geometry in pixels, as e2e_frame prints a frame.
stored_frame() {
  local name out=()
  for name in Left Top Width Height; do
    out+=($(($(sed -n "s/^$name=//p" "$conf") / 15)))
  done
  echo "${out[*]}"
}

frame_is() {
  [ "$(e2e_frame "$1")" = "$2" ]
}

client_is() {
  [ "$(e2e_client_size "$1")" = "$2" ]
}

# The whole frame lies on the screen.
frame_on_screen() {
  local x y w h
  read -r x y w h < <(e2e_frame "$1")
  [ "$x" -ge 0 ] && [ "$y" -ge 0 ] &&
    [ $((x + w)) -le "$E2E_SCREEN_WIDTH" ] && [ $((y + h)) -le "$E2E_SCREEN_HEIGHT" ]
}

# The file button's face shows on the screen left of its caption, found
# from the window's bottom-right corner, where the panel sits, at a scale.
file_button_shows() {
  local pixel r g b
  pixel=$(e2e_pixel root $(xwininfo -id "$1" | awk -v s="$2" '
    /Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
    /Width:/ {w = $NF} /Height:/ {h = $NF}
    END {printf "%d %d", x + w - (154 - 76) * s, y + h - (292 - 272) * s}'))
  read -r r g b <<<"$pixel"
  [ $((${r:-0} + ${g:-0} + ${b:-0})) -gt 300 ]
}

case "$case_name" in
idle_window)
  "$bin/Chromola" &
  pid=$!
  id=$(e2e_wait_window "$main_title") || fail "main window did not appear"
  sleep 0.5
  eval "$(xdotool getwindowgeometry --shell "$id")"
  # Above the control panel the idle colour shows; the picture covers the rest.
  pixel=$(e2e_pixel "$id" $((WIDTH - 20)) 4)
  [ "$pixel" = "12 17 11" ] || fail "idle colour above the panel is '$pixel'"
  close_and_wait "$id" "$pid"
  [ "$status" = 0 ] || fail "exit status $status after closing"
  [ -f "$XDG_CONFIG_HOME/vbChromola.conf" ] || fail "settings not written at exit"
  ;;
missing_library)
  mkdir -p "$E2E_DIR/nolib"
  cp "$bin/Chromola" "$E2E_DIR/nolib/"
  "$E2E_DIR/nolib/Chromola" &
  pid=$!
  box=$(e2e_wait_window "Chromola") || fail "no message box"
  xdotool search --onlyvisible --name "$(e2e_title_regex "$main_title")" >/dev/null 2>&1 &&
    fail "main window shown without the library"
  import -silent -window "$box" "$E2E_DIR/box.png"
  xdotool windowactivate --sync "$box" key Return
  status=0
  wait "$pid" || status=$?
  [ "$status" != 0 ] || fail "exit status 0 without the library"
  ;;
second_instance)
  "$bin/Chromola" &
  first=$!
  id=$(e2e_wait_window "$main_title") || fail "main window did not appear"
  status=0
  timeout 10 "$bin/Chromola" || status=$?
  [ "$status" = 0 ] || fail "second instance ended with status $status"
  count=$(xdotool search --onlyvisible --name "$(e2e_title_regex "$main_title")" | wc -l)
  [ "$count" = 1 ] || fail "$count main windows"
  kill -0 "$first" || fail "first instance gone"
  close_and_wait "$id" "$first"
  [ "$status" = 0 ] || fail "first instance ended with status $status"
  ;;
numlock)
  [ "$(e2e_numlock)" = off ] || xdotool key Num_Lock
  [ "$(e2e_numlock)" = off ] || fail "cannot switch NumLock off"
  "$bin/Chromola" &
  pid=$!
  id=$(e2e_wait_window "$main_title") || fail "main window did not appear"
  [ "$(e2e_numlock)" = on ] || fail "NumLock not on while the player runs"
  close_and_wait "$id" "$pid"
  [ "$(e2e_numlock)" = off ] || fail "NumLock not restored to off at exit"

  xdotool key Num_Lock
  [ "$(e2e_numlock)" = on ] || fail "cannot switch NumLock on"
  "$bin/Chromola" &
  pid=$!
  id=$(e2e_wait_window "$main_title") || fail "main window did not appear"
  [ "$(e2e_numlock)" = on ] || fail "NumLock changed while it was on"
  close_and_wait "$id" "$pid"
  [ "$(e2e_numlock)" = on ] || fail "NumLock switched off although it was on at start"
  ;;
signals)
  # A logout, Ctrl+C or kill ends the player as closing its window does.
  [ "$(e2e_numlock)" = off ] || xdotool key Num_Lock
  presses=0
  for signal in TERM INT HUP; do
    "$bin/Chromola" &
    pid=$!
    id=$(e2e_wait_window "$main_title") || fail "main window did not appear"
    xdotool windowactivate --sync "$id" key plus >/dev/null 2>&1
    presses=$((presses + 1))
    sleep 0.3
    kill -"$signal" "$pid"
    status=0
    timeout 10 tail --pid="$pid" -f /dev/null || fail "still running after SIG$signal"
    wait "$pid" || status=$?
    [ "$status" = 0 ] || fail "exit status $status after SIG$signal"
    grep -q "^Scroll=$((17 + presses))$" "$XDG_CONFIG_HOME/vbChromola.conf" ||
      fail "brightness not saved at SIG$signal"
    [ "$(e2e_numlock)" = off ] || fail "NumLock left on after SIG$signal"
  done
  ;;
window_round_trip)
  # The outer geometry, as stored and as on screen, stays the same through
  # restarts and through full screen and back. Each row: the key that leaves
  # full screen, then the stored values (none: a first start, half the work
  # area centred in it).
  for row in "F11 -" "Escape Left=1500 Top=1800 Width=9000 Height=6000"; do
    read -r key settings <<<"$row"
    write_settings $settings
    w=$((E2E_SCREEN_WIDTH / 2)) h=$((E2E_SCREEN_HEIGHT / 2))
    want="$(((E2E_SCREEN_WIDTH - w) / 2)) $(((E2E_SCREEN_HEIGHT - h) / 2)) $w $h"
    [ -f "$conf" ] && want=$(stored_frame)
    for run in 1 2 3 4; do
      start_player
      e2e_until frame_is "$id" "$want" || fail "start $run: frame $(e2e_frame "$id"), not $want"
      if [ "$run" = 1 ]; then
        xdotool windowactivate --sync "$id" key F11
        e2e_until frame_is "$id" "0 0 $E2E_SCREEN_WIDTH $E2E_SCREEN_HEIGHT" ||
          fail "F11: frame $(e2e_frame "$id") is not the whole screen"
        xdotool key "$key"
        e2e_until frame_is "$id" "$want" || fail "F11, $key: frame $(e2e_frame "$id"), not $want"
      fi
      close_and_wait "$id" "$pid"
      [ "$(stored_frame)" = "$want" ] || fail "start $run: stored $(stored_frame), not $want"
    done
  done
  ;;
first_resize)
  # A resize soon after the window shows is kept, and stored at exit.
  for settings in - "Left=1500 Top=1800 Width=9000 Height=6000"; do
    write_settings $settings
    start_player
    e2e_until frame_on_screen "$id" || fail "window not on screen"
    sleep 1
    xdotool windowsize "$id" 1000 700
    e2e_until client_is "$id" "1000 700" || fail "size $(e2e_client_size "$id") after the resize"
    sleep 1
    client_is "$id" "1000 700" || fail "size $(e2e_client_size "$id") a while after the resize"
    frame=$(e2e_frame "$id")
    close_and_wait "$id" "$pid"
    [ "$(stored_frame)" = "$frame" ] || fail "stored $(stored_frame), frame $frame"
  done
  ;;
oversized_window)
  # Geometry larger than the work area, stored or from a scaled first start,
  # is fitted into it: the whole frame and the file button in the panel's
  # bottom row show. Each row: QT_SCALE_FACTOR, then the stored values.
  for row in "1 Left=15 Top=15 Width=491505 Height=491505" "2 -"; do
    read -r scale settings <<<"$row"
    write_settings $settings
    QT_SCALE_FACTOR=$scale start_player
    e2e_until frame_on_screen "$id" || fail "scale $scale: frame $(e2e_frame "$id") off screen"
    e2e_until file_button_shows "$id" "$scale" || fail "scale $scale: file button not on screen"
    close_and_wait "$id" "$pid"
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
  conf="$XDG_CONFIG_HOME/vbChromola.conf"
  mkdir -p "$E2E_DIR/one" "$E2E_DIR/two" "$E2E_DIR/three"
  for f in one/a.wav one/b.wav two/c.wav three/d.wav three/e.wav; do : >"$E2E_DIR/$f"; done
  stored_list() {
    close_and_wait "$1" "$2"
    [ "$status" = 0 ] || fail "player ended with status $status"
    grep -qF "$E2E_DIR\\0$3\\0\\0" "$conf" || fail "stored: $(grep Path "$conf")"
  }
  starts=()
  for f in one/b.wav two/c.wav one/a.wav; do
    "$bin/Chromola" "$E2E_DIR/$f" &
    starts+=($!)
  done
  id=$(e2e_wait_window "$main_title") || fail "main window did not appear"
  player=$(xdotool getwindowpid "$id")
  for pid in "${starts[@]}"; do
    [ "$pid" = "$player" ] && continue
    status=0
    wait "$pid" || status=$?
    [ "$status" = 0 ] || fail "a start that handed over ended with status $status"
  done
  sleep 1
  stored_list "$id" "$player" 'one/a.wav\0one/b.wav\0two/c.wav'

  "$bin/Chromola" &
  player=$!
  id=$(e2e_wait_window "$main_title") || fail "main window did not appear"
  xdotool windowminimize --sync "$id"
  (cd "$E2E_DIR" && "$bin/Chromola" three) &
  first=$!
  (cd "$E2E_DIR" && "$bin/Chromola" two/c.wav) || fail "a start that handed over failed"
  wait "$first" || fail "a start that handed over failed"
  e2e_wait_window "$main_title" 30 >/dev/null || fail "the player did not come back"
  [ "$(xdotool getactivewindow)" = "$id" ] || fail "the player is not in front"
  stored_list "$id" "$player" 'three/d.wav\0three/e.wav\0two/c.wav'
  ;;
*)
  fail "unknown case $case_name"
  ;;
esac
echo "PASS: $case_name"
