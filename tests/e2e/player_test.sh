#!/usr/bin/env bash
# The real player under Xvfb. Starting and ending: the idle window's colour,
# the missing-library box, a second instance, NumLock around a run and the
# signals that end it with its settings saved, the window's outer geometry
# through restarts, resizes and scale factors, the help and set-up windows
# opened by their keys and button, the command line's answers, and files
# opened from outside reaching one player. Playing tones into a
# PulseAudio null sink: the window turns red or green, and takes the same
# colours live from what others play; the flash limiter holds; the desktop's
# media controls steer it. Then the remover deletes what it stored, and the
# Debian package made from the build installs, plays and goes again. The
# rules behind these (which band makes which colour, a list in which nothing
# plays, the media controls' positions) are checked on the core alone.
# Usage: player_test.sh BIN_DIR MAKE_TONE CASE
bin="$1"
make_tone="$2"
case_name="$3"
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
  e2e_frame "$id" | awk -v sw="$E2E_SCREEN_WIDTH" -v sh="$E2E_SCREEN_HEIGHT" '
    {exit !($1 >= 0 && $2 >= 0 && $1 + $3 <= sw && $2 + $4 <= sh)}'
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

# The colour at 30,30 is mostly level $1 (0 red, 1 green, 2 blue): at least
# 20 and more than twice each other level.
dominant() {
  awk -v d=$(($1 + 1)) '{for (i = 1; i <= 3; i++) if ($d < 20 || i != d && $d <= 2 * $i) exit 1}' \
    <<<"$(e2e_pixel "$id" 30 30)"
}
# The colour at 30,30 stays within 4 of each level for a second and a half.
steady() {
  local a b
  a=$(e2e_pixel "$id" 30 30) && sleep 1.5 && b=$(e2e_pixel "$id" 30 30) &&
    awk -v a="$a" -v b="$b" 'BEGIN {split(a, x); split(b, y)
      for (i = 1; i <= 3; i++) if (x[i] - y[i] > 4 || y[i] - x[i] > 4 || x[i] == "") exit 1}'
}
# The colour comes to be mostly level $1 and settles; $2 names what plays.
# An idle null sink hands its first sound over in 2-second blocks.
check_dominant() {
  e2e_until dominant "$1" && e2e_until steady || fail "$2: colour $(e2e_pixel "$id" 30 30)"
}
# A digest of the window's pixels.
window_sum() { import -silent -window "$id" rgb:- 2>/dev/null | md5sum; }
window_changed() { [ "$(window_sum)" != "$1" ]; }

# Starts the player on a tone file in a window of a fixed size, with more
# [Form] lines after the path.
start_on() {
  e2e_form "Path=$1" Left=1500 Top=1500 Width=7200 Height=5000 "${@:2}"
  e2e_player
}

case "$case_name" in
idle_window)
  # The idle colour shows above the control panel (the picture covers the rest).
  e2e_player
  eval "$(xdotool getwindowgeometry --shell "$id")"
  idle_above_panel() { [ "$(e2e_pixel "$id" $((WIDTH - 20)) 4)" = "12 17 11" ]; }
  e2e_until idle_above_panel ||
    fail "not the idle colour above the panel: '$(e2e_pixel "$id" $((WIDTH - 20)) 4)'"
  e2e_close
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
  timeout $((10 * E2E_SLOWDOWN)) "$bin/Chromola" || fail "second instance ended with status $?"
  count=$(e2e_windows "$E2E_TITLE" | wc -l)
  [ "$count" = 1 ] || fail "$count main windows"
  e2e_close
  ;;
numlock_signals)
  # NumLock is on while the player runs and as it was before afterwards,
  # however the player ends: closed, or by a logout, Ctrl+C or kill, which
  # save the settings as closing does.
  scroll=17
  for row in "off close" "on close" "off TERM" "off INT" "off HUP"; do
    read -r before end <<<"$row"
    [ "$(e2e_numlock)" = "$before" ] || xdotool key Num_Lock
    [ "$(e2e_numlock)" = "$before" ] || fail "cannot switch NumLock $before"
    e2e_player
    [ "$(e2e_numlock)" = on ] || fail "NumLock not on while the player runs (was $before)"
    # The brightness bar moves when the key has been taken.
    xdotool windowactivate --sync "$id" >/dev/null 2>&1
    shown=$(window_sum)
    xdotool key plus
    scroll=$((scroll + 1))
    e2e_until window_changed "$shown" || fail "the brightness key changed nothing"
    if [ "$end" = close ]; then
      e2e_close
    else
      kill -"$end" "$pid"
      e2e_ended "$pid" "SIG$end"
    fi
    grep -q "^Scroll=$scroll$" "$E2E_CONF" || fail "brightness not saved at $end"
    [ "$(e2e_numlock)" = "$before" ] || fail "NumLock not $before again after $end"
  done
  ;;
window_round_trip)
  # The outer geometry, as stored and as on screen, stays the same through
  # restarts and through full screen and back. A resize soon after the
  # window shows is kept. Each row: the key that leaves full screen, the
  # frame, the stored values (none: a first start, half the work area
  # centred in it).
  for row in "F11 320 200 640 400 -" \
    "Escape 100 120 600 400 Left=1500 Top=1800 Width=9000 Height=6000"; do
    read -r key x y w h settings <<<"$row"
    want="$x $y $w $h"
    e2e_form $settings
    for run in 1 2 3 4; do
      e2e_player
      e2e_until frame_is "$want" || fail "start $run: frame $(e2e_frame "$id"), not $want"
      if [ "$run" = 1 ]; then
        sleep 1
        xdotool windowsize "$id" 800 500
        e2e_until client_is "800 500" || fail "size $(e2e_client_size "$id") after the resize"
        sleep 1
        client_is "800 500" || fail "size $(e2e_client_size "$id") a while after the resize"
        want=$(e2e_frame "$id")
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
  # Answers that need no display; an option not understood is a misuse, told
  # on standard error. (The texts: command_line_test.)
  out=$(env -u DISPLAY "$bin/Chromola" --help) && [ -n "$out" ] || fail "--help failed"
  out=$(env -u DISPLAY "$bin/Chromola" --version) || fail "--version failed"
  [[ "$out" =~ ^Chromola\ [0-9]+\.[0-9]+ ]] || fail "version '$out'"
  status=0
  env -u DISPLAY "$bin/Chromola" --bogus a.mp3 >"$E2E_DIR/out" 2>"$E2E_DIR/err" || status=$?
  [ "$status" = 2 ] && [ ! -s "$E2E_DIR/out" ] && grep -q -- "--bogus" "$E2E_DIR/err" ||
    fail "misuse: status $status, $(cat "$E2E_DIR/out" "$E2E_DIR/err")"
  ;;
open_files)
  # A file manager opens files of two folders with one start per file, all
  # at once: one start becomes the player, the others hand their files over
  # and end. Later starts hand theirs to the running player (a folder stands
  # for its audio files, a relative path is taken from the start's folder),
  # which comes to the front.
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
  # A start that hands over opens no window and no sound stream: it needs
  # neither a display nor a sound server.
  (cd "$E2E_DIR" && env -u DISPLAY PULSE_SERVER=unix:/nonexistent "$bin/Chromola" three two/c.wav) ||
    fail "a start that handed over failed"
  e2e_wait_window "$E2E_TITLE" 30 >/dev/null || fail "the player did not come back"
  [ "$(xdotool getactivewindow)" = "$id" ] || fail "the player is not in front"
  close_and_check_list 'three/d.wav\0three/e.wav\0two/c.wav'
  ;;
live)
  # A low tone played makes the window red, a middle one green. Live mode
  # takes the colour of what plays into the null sink (the computer's sound)
  # or into a microphone (a remapped monitor of a second sink) as the player
  # colours the same tone itself; a new default microphone never takes the
  # output's place; a source that goes, or the sound server, leaves a
  # message in a player that still answers; capture cannot start with no
  # server at all.
  "$make_tone" "$E2E_DIR/green.wav" 1000 60 && "$make_tone" "$E2E_DIR/red.wav" 100 60 ||
    fail "cannot write tone"
  export CHROMOLA_COLOUR_LOG="$E2E_DIR/colours.log"
  # The colour at 30,30 is "r g b" $1, no level more than 4 apart.
  # Levels to within 4 need the capture to keep up with real time, which a
  # sanitizer's slowdown does not let it: there the level that leads $1
  # must lead the colour, at least 20 and more than twice each other level.
  shows() {
    awk -v a="$(e2e_pixel "$id" 30 30)" -v b="$1" -v loose=$((E2E_SLOWDOWN > 1)) '
      BEGIN {split(a, x); split(b, y); if (x[1] == "") exit 1
        if (loose) {d = 1; for (i = 2; i <= 3; i++) if (y[i] > y[d]) d = i
          for (i = 1; i <= 3; i++) if (x[d] < 20 || i != d && x[d] <= 2 * x[i]) exit 1; exit 0}
        for (i = 1; i <= 3; i++) if (x[i] - y[i] > 4 || y[i] - x[i] > 4) exit 1}'
  }
  # Width of the white text printed on the colour area (0: none).
  printed() {
    eval "$(xdotool getwindowgeometry --shell "$id")"
    import -silent -window "$id" -crop "$((WIDTH - 154))x$HEIGHT+0+0" -depth 8 txt:- |
      awk -F'[,:() ]+' 'NR > 1 && $3 > 200 && $4 > 200 && $5 > 200 {
        if (l == "" || $1 < l) l = $1; if ($1 > r) r = $1 } END { print l == "" ? 0 : r - l + 1 }'
  }
  wider() { [ "$(printed)" -gt "$1" ]; }
  start_on "$E2E_DIR/green.wav"
  check_dominant 1 "tone 1000 Hz"
  green=$(e2e_pixel "$id" 30 30) && e2e_close
  start_on "$E2E_DIR/red.wav"
  check_dominant 0 "tone 100 Hz"
  red=$(e2e_pixel "$id" 30 30) && e2e_close
  pactl load-module module-null-sink sink_name=micsink >/dev/null &&
    pactl load-module module-remap-source source_name=mic master=micsink.monitor >/dev/null &&
    pactl set-default-source nullsink.monitor || fail "cannot make the microphone"
  # A sink that plays something (its state RUNNING).
  sink_running() { pactl list short sinks | awk -v s="$1" '$2 == s && $NF == "RUNNING" {f = 1} END {exit !f}'; }
  # Over and over, however long a slow (sanitizer) build takes to get there;
  # until the sound server goes.
  play_on() { while paplay -d "$1" "$2" 2>/dev/null; do :; done; }
  play_on nullsink "$E2E_DIR/green.wav" &
  e2e_pids+=($!)
  play_on micsink "$E2E_DIR/red.wav" &
  e2e_pids+=($!)
  e2e_until sink_running nullsink && e2e_until sink_running micsink || fail "the tones do not play"
  start_on "$E2E_DIR/green.wav" Live=1 LiveSource=0
  e2e_until shows "$green" || fail "the computer's sound: $(e2e_pixel "$id" 30 30), not $green"
  before=$(wc -l <"$CHROMOLA_COLOUR_LOG")
  pactl set-default-source mic
  # 3 s of ticks.
  logged_since() { [ $(($(wc -l <"$CHROMOLA_COLOUR_LOG") - before)) -ge 176 ]; }
  e2e_until logged_since || fail "the ticks stopped after the new default microphone"
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
  e2e_close
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
    spans() { awk 'NR == 1 {from = $1 + 7500} END {exit !(NR && $1 >= from)}' "$log" 2>/dev/null; }
    E2E_TRIES=300 e2e_until spans || fail "the colour log does not cover 7.5 s"
    e2e_close
    awk 'NR == 1 {from = $1 + 2500} $1 >= from' "$log" >"$log.tail"
    read -r general red ticks < <("$make_tone" --count-flashes "$log.tail")
    # 5 s of ticks are 294; a sanitizer's slowdown drops up to half of them.
    [ "$ticks" -gt $((E2E_SLOWDOWN > 1 ? 147 : 250)) ] || fail "only $ticks colours logged"
    if [ "$limit" = 1 ]; then
      [ "$general" -le 6 ] && [ "$red" -le 6 ] ||
        fail "more than three flashes a second: $general general, $red red transitions"
      grep -q '^FlashLimit=1$' "$E2E_CONF" || fail "the option was not kept"
    else
      [ "$general" -gt 6 ] || fail "the drum loop does not flash without the limiter: the check is blind"
    fi
  done
  ;;
beat_accent)
  # With colour on the beat, every click of a click track is logged as a
  # beat on the tick where the window shows it: the first tick of each run
  # of lit ticks in the colour log (the window is black between the clicks)
  # is that click's heard time, to a tick; the beat comes within two ticks
  # of it (one on an idle machine) and lifts the colour there.
  "$make_tone" "$E2E_DIR/clicks.wav" clicks 120 16 || fail "cannot write the clicks"
  e2e_form "Path=$E2E_DIR/clicks.wav" Scroll=12 BeatAccent=1
  colours="$E2E_DIR/colours.log" beats="$E2E_DIR/beats.log"
  CHROMOLA_COLOUR_LOG="$colours" CHROMOLA_BEAT_LOG="$beats" e2e_player
  enough() { [ "$(wc -l <"$beats" 2>/dev/null || echo 0)" -ge 12 ]; }
  E2E_TRIES=200 e2e_until enough || fail "$(wc -l <"$beats" 2>/dev/null) beats logged"
  e2e_close
  awk -v slow="$E2E_SLOWDOWN" '
    FNR == NR { beat[++beats] = $1; bpm[beats] = $2; next }
    { lit = $2 + $3 + $4 > 0; top = ($2 > $3 ? $2 : $3); top = (top > $4 ? top : $4); shown[$1] = top
      tick[++ticks] = $1 }
    lit && !was { click[++clicks] = $1 }
    { was = lit }
    END {
      if (beats < 12) { print "only " beats " beats"; exit 1 }
      for (b = 1; b <= beats; b++) {
        if (bpm[b] < 119.5 || bpm[b] > 120.5) { print "beat " b " at " bpm[b] " BPM"; exit 1 }
        best = 1e9
        for (c = 1; c <= clicks; c++) { d = beat[b] - click[c]; if (d < 0) d = -d; if (d < best) best = d }
        if (best > 34 * slow) { print "beat at " beat[b] " ms is " best " ms from a click"; exit 1 }
        # The colour log reads the clock for itself, a moment later.
        at = ""
        for (t = 1; t <= ticks; t++) if (tick[t] >= beat[b] && tick[t] <= beat[b] + 3) at = tick[t]
        if (shown[at] != 255) { print "no accent at " beat[b] " ms: " shown[at]; flat++ }
        atBeat[at] = 1
        if (b > 1 && (beat[b] - beat[b - 1] < 470 || beat[b] - beat[b - 1] > 530) && slow == 1) {
          print "beats " beat[b - 1] " and " beat[b] " ms"; exit 1
        }
      }
      if (flat > beats / 10) exit 1
      for (t in shown) if (!(t in atBeat) && shown[t] > 0) { others++; full += shown[t] == 255 }
      if (full * 2 > others) { print "the clicks show at full strength unaccented: the check is blind"; exit 1 }
    }' "$beats" "$colours" || fail "the beats do not match the clicks"
  # Live, the same clicks played by the computer: the live tracker locks and
  # beats half a second apart follow.
  "$make_tone" "$E2E_DIR/long.wav" clicks 120 60 || fail "cannot write the clicks"
  (while paplay -d nullsink "$E2E_DIR/long.wav" 2>/dev/null; do :; done) &
  e2e_pids+=($!)
  e2e_form Live=1 BeatAccent=1
  live="$E2E_DIR/live.log"
  CHROMOLA_BEAT_LOG="$live" e2e_player
  locked() { [ "$(wc -l <"$live" 2>/dev/null || echo 0)" -ge 8 ]; }
  E2E_TRIES=200 e2e_until locked || fail "$(wc -l <"$live" 2>/dev/null) live beats logged"
  e2e_close
  tail -n 6 "$live" | awk -v slow="$E2E_SLOWDOWN" '
    NR > 1 && slow == 1 && ($1 - last < 460 || $1 - last > 540) { print "live beats " last " and " $1 " ms"; bad = 1 }
    $2 < 117 || $2 > 123 { print "live beat at " $2 " BPM"; bad = 1 }
    { last = $1 } END { exit bad }' || fail "the live beats do not follow the clicks"
  ;;
media_controls)
  # The desktop's media widget (playerctl on a private session bus) sees the
  # track from its tags or its file name and steers the player; the media
  # keys act on the focused window; every change is announced. (Positions,
  # lengths, stops: mpris_state_test.)
  e2e_start_bus
  mkdir -p "$E2E_DIR/m"
  "$make_tone" "$E2E_DIR/low.wav" 100 20 && "$make_tone" "$E2E_DIR/m/b.wav" 8000 20 ||
    fail "cannot write tone"
  flac -s -T TITLE=Низкий -T ARTIST=Хромола -T ARTIST=Тон "$E2E_DIR/low.wav" \
    -o "$E2E_DIR/m/a.flac" || fail "cannot write the tagged file"
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
  pc next
  expect b.wav metadata xesam:title
  xdotool windowactivate --sync "$id" key XF86AudioNext
  expect Низкий metadata xesam:title
  pc open "file://$E2E_DIR/low.wav"
  expect low.wav metadata xesam:title
  e2e_until grep -qx low.wav "$E2E_DIR/titles" || fail "changes not announced: $(cat "$E2E_DIR/titles")"
  dbus-send --session --type=method_call --dest=org.mpris.MediaPlayer2.chromola \
    /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Quit
  e2e_ended "$pid" "Quit"
  ;;
installed_package)
  # The package of this build installs with what it depends on, opens a file
  # from its desktop entry's command, plays it, and leaves nothing behind
  # when it is removed.
  [ "$(id -u)" = 0 ] || { echo "SKIP: installing a package needs root"; exit 77; }
  cpack --config "$bin/../CPackConfig.cmake" -B "$E2E_DIR/package" >"$E2E_DIR/cpack.log" 2>&1 ||
    fail "cpack: $(tail -n 5 "$E2E_DIR/cpack.log")"
  deb=$(echo "$E2E_DIR"/package/chromola_*.deb)
  depends=$(dpkg-deb -f "$deb" Depends)
  grep -q libqt6widgets6 <<<"$depends" && grep -q libsndfile1 <<<"$depends" ||
    fail "Depends not taken from the libraries: $depends"
  apt=(apt-get -y -q -o DPkg::Lock::Timeout=300)
  e2e_undo+=("${apt[*]} purge chromola")
  "${apt[@]}" install "$deb" >"$E2E_DIR/apt.log" 2>&1 ||
    fail "apt-get install: $(tail -n 5 "$E2E_DIR/apt.log")"
  installed=$(dpkg -L chromola)
  "$make_tone" "$E2E_DIR/low.wav" 100 20 || fail "cannot write tone"
  # The desktop puts the chosen files in place of %F.
  exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/*.Chromola.desktop)
  read -r -a command <<<"${exec_line/\%F/$E2E_DIR/low.wav}"
  [ "$(command -v "${command[0]}")" = /usr/bin/chromola ] || fail "Exec names ${command[0]}"
  "${command[@]}" &
  pid=$!
  id=$(e2e_wait_window "$E2E_TITLE") || fail "main window did not appear"
  check_dominant 0 "the installed player"
  e2e_close
  "${apt[@]}" remove chromola >"$E2E_DIR/apt.log" 2>&1 ||
    fail "apt-get remove: $(tail -n 5 "$E2E_DIR/apt.log")"
  while read -r path; do # folders may stay, shared with other packages
    [ -d "$path" ] || { [ ! -e "$path" ] && [ ! -L "$path" ]; } || fail "left behind: $path"
  done <<<"$installed"
  [ -e /usr/lib/chromola ] && fail "left behind: /usr/lib/chromola"
  ;;
setup_window)
  # F2 opens one set-up window and a second F2 brings the same one to the
  # front; the help window has its designed client area, and its button
  # (right of the pause box) opens the set-up window as well.
  setup_title="Vazuvideroz SETUP"
  no_setup() { [ -z "$(e2e_windows "$setup_title")" ]; }
  setup_in_front() { [ "$(xdotool getactivewindow)" = "$setup" ]; }
  e2e_player
  xdotool windowactivate --sync "$id" key F2
  setup=$(e2e_wait_window "$setup_title") || fail "F2 opened no set-up window"
  xdotool windowactivate --sync "$id" key F2
  e2e_until setup_in_front || fail "the set-up window did not come to the front"
  [ "$(e2e_windows "$setup_title" | wc -l)" = 1 ] || fail "a second set-up window"
  xdotool key alt+F4
  e2e_until no_setup || fail "the set-up window did not close"
  xdotool windowactivate --sync "$id" key F1
  help=$(e2e_wait_window "Vazuvideroz HELP") || fail "F1 opened no help window"
  [ "$(e2e_client_size "$help")" = "302 272" ] ||
    fail "help window $(e2e_client_size "$help"), not the designed 302 272"
  xdotool mousemove --window "$help" 258 181 click 1
  e2e_wait_window "$setup_title" >/dev/null || fail "the help window's button opened nothing"
  e2e_close
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
remote)
  # The remote's page in a real browser on this computer: it names and
  # colours what plays, steps to the next track and darkens the window.
  mkdir -p "$E2E_DIR/m"
  "$make_tone" "$E2E_DIR/m/a-red.wav" 100 60 && "$make_tone" "$E2E_DIR/m/b-green.wav" 1000 60 ||
    fail "cannot write tone"
  port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  e2e_form Left=1500 Top=1500 Width=7200 Height=5000 Remote=1 "RemotePort=$port"
  e2e_player "$E2E_DIR/m/a-red.wav" "$E2E_DIR/m/b-green.wav"
  secret="$XDG_CONFIG_HOME/chromola/remote-secret"
  e2e_until test -s "$secret" || fail "no secret kept"
  [ "$(stat -c %a "$secret")" = 600 ] || fail "the secret's file is $(stat -c %a "$secret")"
  /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/remote_page.py" \
    "http://127.0.0.1:$port/#k=$(cat "$secret")" "$id" || fail "the remote's page"
  e2e_close
  ;;
*)
  fail "unknown case $case_name"
  ;;
esac
echo "PASS: $case_name"
