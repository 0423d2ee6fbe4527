#!/usr/bin/env bash
# The real player under Xvfb plays tones into a PulseAudio null sink; its
# window turns red, green or blue, and takes the same colours live from what
# others play. The desktop's media controls steer it.
# Then the remover deletes what it stored. The Debian package made from the
# build installs, plays and goes again.
# Usage: playback_test.sh BIN_DIR MAKE_TONE CASE
bin="$1"
make_tone="$2"
case_name="$3"
source "$(dirname "${BASH_SOURCE[0]}")/session.sh"
e2e_start_x
e2e_start_sound

# The colour at 30,30 is mostly level $1 (0 red, 1 green, 2 blue): at least
# 20 and more than twice each other level. $2 names what plays.
check_dominant() {
  local levels i
  read -r -a levels < <(e2e_pixel "$id" 30 30)
  echo "$2: colour ${levels[*]}"
  [ "${levels[$1]}" -ge 20 ] || fail "$2: dominant level only ${levels[$1]}"
  for i in 0 1 2; do
    [ "$i" = "$1" ] || [ "${levels[$1]}" -gt $((2 * levels[i])) ] || fail "$2: colour ${levels[*]}"
  done
}

# Starts the player on a tone file in a window of a fixed size, with more
# [Form] lines after the path.
start_on() {
  e2e_form "Path=$1" Left=1500 Top=1500 Width=7200 Height=5000 "${@:2}"
  e2e_player
  sleep 3 # an idle null sink hands its first sound over in 2-second blocks
}

case "$case_name" in
tone_colours)
  for row in "100 0" "1000 1" "8000 2"; do
    read -r hz level <<<"$row"
    "$make_tone" "$E2E_DIR/tone$hz.wav" "$hz" 20 || fail "cannot write tone"
    start_on "$E2E_DIR/tone$hz.wav"
    check_dominant "$level" "tone $hz Hz"
    e2e_close
  done
  ;;
live)
  # Live mode takes the colour of what plays into the null sink (the computer's
  # sound) or into a microphone (a remapped monitor of a second sink) as the
  # player colours the same tone itself; a new default microphone never
  # takes the output's place; a source that goes, or no sound server, leaves
  # a message in a player that still answers.
  "$make_tone" "$E2E_DIR/green.wav" 1000 60 && "$make_tone" "$E2E_DIR/red.wav" 100 60 ||
    fail "cannot write tone"
  export CHROMOLA_COLOUR_LOG="$E2E_DIR/colours.log"
  near() { # "r g b" "r g b": no level more than 4 apart
    local a b i
    read -r -a a <<<"$1" && read -r -a b <<<"$2"
    for i in 0 1 2; do [ $((a[i] - b[i])) -le 4 ] && [ $((b[i] - a[i])) -le 4 ] || return 1; done
  }
  shows() { near "$(e2e_pixel "$id" 30 30)" "$1"; }
  # Width of the white text printed on the colour area (0: none).
  printed() {
    eval "$(xdotool getwindowgeometry --shell "$id")"
    import -silent -window "$id" -crop "$((WIDTH - 154))x$HEIGHT+0+0" -depth 8 txt:- |
      awk -F'[,:() ]+' 'NR > 1 && $3 > 200 && $4 > 200 && $5 > 200 {
        if (l == "" || $1 < l) l = $1; if ($1 > r) r = $1 } END { print l == "" ? 0 : r - l + 1 }'
  }
  wider() { [ "$(printed)" -gt "$1" ]; }
  start_on "$E2E_DIR/green.wav"
  green=$(e2e_pixel "$id" 30 30) && e2e_close
  start_on "$E2E_DIR/red.wav"
  red=$(e2e_pixel "$id" 30 30) && e2e_close
  echo "the player's own tones: green $green, red $red"
  pactl load-module module-null-sink sink_name=micsink >/dev/null &&
    pactl load-module module-remap-source source_name=mic master=micsink.monitor >/dev/null &&
    pactl set-default-source nullsink.monitor || fail "cannot make the microphone"
  paplay -d nullsink "$E2E_DIR/green.wav" 2>/dev/null &
  e2e_pids+=($!)
  paplay -d micsink "$E2E_DIR/red.wav" 2>/dev/null &
  e2e_pids+=($!)
  start_on "$E2E_DIR/green.wav" Live=1 LiveSource=0
  e2e_until shows "$green" || fail "the computer's sound: $(e2e_pixel "$id" 30 30), not $green"
  before=$(wc -l <"$CHROMOLA_COLOUR_LOG")
  pactl set-default-source mic
  sleep 3
  tail -n +$((before + 1)) "$CHROMOLA_COLOUR_LOG" | awk '$2 > 4 {exit 1}' ||
    fail "the new default microphone was captured: $(tail -n 1 "$CHROMOLA_COLOUR_LOG")"
  e2e_close
  grep -q '^Live=1$' "$E2E_CONF" || fail "live mode not kept"
  start_on "$E2E_DIR/green.wav" Live=1 LiveSource=1
  e2e_until shows "$red" || fail "the microphone: $(e2e_pixel "$id" 30 30), not $red"
  pactl unload-module module-remap-source
  e2e_until wider 0 || fail "no message when the microphone went"
  lost=$(printed)
  # Still answering: F9 takes up the new default input.
  pactl set-default-source nullsink.monitor
  xdotool windowactivate --sync "$id" key F9
  e2e_until shows "$green" || fail "F9 after the loss: $(e2e_pixel "$id" 30 30)"
  [ "$(printed)" = 0 ] || fail "the message stayed"
  pulseaudio -k
  e2e_until wider 0 && [ "$(printed)" = "$lost" ] || fail "no message when the server went"
  xdotool key F9
  e2e_until wider "$lost" || fail "no message that capture cannot start"
  echo "message widths: source gone $lost, cannot capture $(printed)"
  e2e_close
  grep -q '^Live=0$' "$E2E_CONF" || fail "live mode kept after it failed"
  ;;
unplayable_list)
  # A stored list in which nothing plays, with no pause: the player goes
  # round once, then rests on the idle look instead of retrying for ever.
  head -c 20000 /dev/zero | tr '\0' z >"$E2E_DIR/x.mp3"
  cp "$E2E_DIR/x.mp3" "$E2E_DIR/y.mp3"
  e2e_form "Path=$E2E_DIR\\0x.mp3\\0y.mp3\\0\\0" Pause=0
  e2e_player
  sleep 1
  cpu_ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
  before=$(cpu_ticks)
  sleep 2
  spent=$(($(cpu_ticks) - before))
  echo "CPU ticks in 2 s on a list where nothing plays: $spent"
  [ "$spent" -le 10 ] || fail "the player keeps retrying ($spent ticks in 2 s)"
  e2e_check_idle_look
  e2e_close
  grep -q "x.mp3.*y.mp3" "$E2E_CONF" || fail "the stored list was lost"
  ;;
flash_limit)
  # A fast drum loop at full brightness flashes; with the limiter on, what
  # the window showed (the player's own log) passes the flash counter.
  "$make_tone" "$E2E_DIR/drums.wav" drums 174 20 || fail "cannot write the drum loop"
  for limit in 0 1; do
    e2e_form "Path=$E2E_DIR/drums.wav" Scroll=32 "FlashLimit=$limit"
    log="$E2E_DIR/colours$limit.log"
    CHROMOLA_COLOUR_LOG="$log" e2e_player
    # The null sink may hold the first sound back: count only 5 s after that.
    sleep 8
    e2e_close
    first=$(awk 'NR == 1 {print $1}' "$log")
    awk -v from=$((first + 2500)) '$1 >= from' "$log" >"$log.tail"
    read -r general red ticks < <("$make_tone" --count-flashes "$log.tail")
    echo "flash limit $limit: at most $general general and $red red transitions a second ($ticks ticks)"
    [ "$ticks" -gt 250 ] || fail "only $ticks colours logged"
    if [ "$limit" = 1 ]; then
      [ "$general" -le 6 ] && [ "$red" -le 6 ] || fail "more than three flashes a second"
      grep -q '^FlashLimit=1$' "$E2E_CONF" || fail "the option was not kept"
    else
      [ "$general" -gt 6 ] || fail "the drum loop does not flash without the limiter: the check is blind"
    fi
  done
  ;;
media_controls)
  # The desktop's media widget (playerctl on a private session bus) sees the
  # track from its tags or its file name and steers the player; the media
  # keys act on the focused window; every change is announced.
  e2e_start_session_bus
  mkdir -p "$E2E_DIR/m"
  "$make_tone" "$E2E_DIR/low.wav" 100 20 || fail "cannot write tone"
  flac -s -T TITLE=Низкий -T ARTIST=Хромола -T ARTIST=Тон "$E2E_DIR/low.wav" \
    -o "$E2E_DIR/m/a.flac" || fail "cannot write the tagged file"
  "$make_tone" "$E2E_DIR/m/b.wav" 8000 20 && "$make_tone" "$E2E_DIR/c.wav" 1000 20 ||
    fail "cannot write tone"
  e2e_player "$E2E_DIR/m"
  pc() { playerctl -p chromola "$@" 2>/dev/null; }
  answers() { [ "$(pc "${@:2}" || true)" = "$1" ]; }
  # playerctl comes to answer $1 to the query that follows.
  expect() { e2e_until answers "$@" || fail "playerctl ${*:2}: '$(pc "${@:2}")', not '$1'"; }
  expect Playing status
  pc --follow metadata xesam:title >"$E2E_DIR/titles" &
  e2e_pids+=($!)
  expect Низкий metadata xesam:title
  expect "Хромола, Тон" metadata xesam:artist
  expect 20000000 metadata mpris:length
  pc position 5
  at=$(pc position)
  awk -v at="$at" 'BEGIN { exit !(at >= 5 && at < 7) }' || fail "position $at after a seek to 5 s"
  pc next
  expect b.wav metadata xesam:title
  pc previous
  expect Низкий metadata xesam:title
  xdotool windowactivate --sync "$id" key XF86AudioNext
  expect b.wav metadata xesam:title
  pc stop
  expect Stopped status
  pc play
  expect Playing status
  pc open "file://$E2E_DIR/c.wav"
  expect c.wav metadata xesam:title
  grep -qx c.wav "$E2E_DIR/titles" || fail "changes not announced: $(cat "$E2E_DIR/titles")"
  dbus-send --session --type=method_call --dest=org.mpris.MediaPlayer2.chromola \
    /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Quit
  e2e_ended "$pid" "Quit"
  ;;
installed_package)
  # The package of this build installs with what it depends on, opens files
  # of two folders from its desktop entry's command, plays the first, and
  # leaves nothing behind when it is removed.
  [ "$(id -u)" = 0 ] || { echo "SKIP: installing a package needs root"; exit 77; }
  cpack --config "$bin/../CPackConfig.cmake" -B "$E2E_DIR/package" >"$E2E_DIR/cpack.log" 2>&1 ||
    fail "cpack: $(tail -n 5 "$E2E_DIR/cpack.log")"
  deb=$(echo "$E2E_DIR"/package/chromola_*.deb)
  depends=$(dpkg-deb -f "$deb" Depends)
  echo "Depends: $depends"
  grep -q libqt6widgets6 <<<"$depends" && grep -q libsndfile1 <<<"$depends" ||
    fail "Depends not taken from the libraries"
  apt=(apt-get -y -q -o DPkg::Lock::Timeout=300)
  e2e_undo+=("${apt[*]} purge chromola")
  "${apt[@]}" install "$deb" >"$E2E_DIR/apt.log" 2>&1 ||
    fail "apt-get install: $(tail -n 5 "$E2E_DIR/apt.log")"
  installed=$(dpkg -L chromola)
  mkdir -p "$E2E_DIR/low" "$E2E_DIR/high"
  "$make_tone" "$E2E_DIR/low/tone.wav" 100 20 && "$make_tone" "$E2E_DIR/high/tone.wav" 8000 20 ||
    fail "cannot write tone"
  # The desktop puts the chosen files in place of %F.
  exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/*.Chromola.desktop)
  read -r -a command <<<"${exec_line/\%F/$E2E_DIR/low/tone.wav $E2E_DIR/high/tone.wav}"
  [ "$(command -v "${command[0]}")" = /usr/bin/chromola ] || fail "Exec names ${command[0]}"
  "${command[@]}" &
  pid=$!
  id=$(e2e_wait_window "$E2E_TITLE") || fail "main window did not appear"
  sleep 3
  check_dominant 0 "installed player, low tone first"
  e2e_close
  grep -qF "$E2E_DIR\\0low/tone.wav\\0high/tone.wav\\0\\0" "$E2E_CONF" ||
    fail "stored: $(grep Path "$E2E_CONF")"
  "${apt[@]}" remove chromola >"$E2E_DIR/apt.log" 2>&1 ||
    fail "apt-get remove: $(tail -n 5 "$E2E_DIR/apt.log")"
  while read -r path; do
    if [ ! -d "$path" ] && { [ -e "$path" ] || [ -L "$path" ]; }; then
      fail "left behind: $path"
    fi
  done <<<"$installed"
  [ -e /usr/lib/chromola ] && fail "left behind: /usr/lib/chromola"
  ;;
uninstall)
  # The remover deletes what the player stored and shows the outcome.
  e2e_player
  e2e_close
  grep -q '^\[Form\]' "$E2E_CONF" || fail "no settings written for the remover to remove"
  "$bin/Uninstall" &
  pid=$!
  id=$(e2e_wait_window "Удаление ключей реестра") || fail "remover window did not appear"
  xdotool windowactivate --sync "$id" key space
  box=$(e2e_wait_window "Uninstall") || fail "no outcome box"
  [ -f "$E2E_CONF" ] && fail "settings file still there"
  xdotool windowactivate --sync "$box" key Return
  e2e_close
  ;;
*)
  fail "unknown case $case_name"
  ;;
esac
echo "PASS: $case_name"
