# A private desktop session for end-to-end tests: an X server (Xvfb), a
# window manager (openbox) and a sound server with a null sink (PulseAudio),
# all in a temporary folder and all stopped when the test's shell exits.
# Source this file; it sets DISPLAY, PULSE_SERVER, HOME and XDG_* for the
# test.
# The e2e_player helpers drive "$bin/Chromola" (the caller sets bin).

set -euo pipefail

E2E_DIR="$(mktemp -d /tmp/chromola-e2e.XXXXXX)"
export HOME="$E2E_DIR/home"
export XDG_CONFIG_HOME="$HOME/.config"
export XDG_RUNTIME_DIR="$E2E_DIR/run"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS
export QT_QPA_PLATFORM=xcb

# Deadlines are multiplied by E2E_SLOWDOWN (1): sanitizer builds run the
# player several times slower.
E2E_SLOWDOWN=${E2E_SLOWDOWN:-1}

# The screen, 1280 x 800 unless the caller names another.
E2E_SCREEN_WIDTH=${E2E_SCREEN_WIDTH:-1280}
E2E_SCREEN_HEIGHT=${E2E_SCREEN_HEIGHT:-800}
E2E_TITLE="Vazuvideroz (F1-Help)"
E2E_CONF="$XDG_CONFIG_HOME/vbChromola.conf"

e2e_pids=()
# Commands that undo what a test changed outside its folder.
e2e_undo=()
e2e_cleanup() {
  local status=$?
  for pid in "${e2e_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for command in "${e2e_undo[@]}"; do eval "$command" >/dev/null 2>&1 || true; done
  pulseaudio -k 2>/dev/null || true
  for pid in "${e2e_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$E2E_DIR"
  exit "$status"
}
trap e2e_cleanup EXIT

# Starts Xvfb on a display number it finds free, and a window manager.
e2e_start_x() {
  Xvfb -displayfd 3 -screen 0 "${E2E_SCREEN_WIDTH}x${E2E_SCREEN_HEIGHT}x24" -nolisten tcp \
    3>"$E2E_DIR/display" >"$E2E_DIR/xvfb.log" 2>&1 &
  e2e_pids+=($!)
  e2e_until test -s "$E2E_DIR/display" || { echo "could not start Xvfb" >&2; return 1; }
  export DISPLAY=":$(cat "$E2E_DIR/display")"
  # Started a second time if it has not announced itself by the deadline
  # (seen twice in some hundred starts on a loaded machine, cause unknown).
  local try
  for try in 1 2; do
    openbox >>"$E2E_DIR/openbox.log" 2>&1 &
    e2e_pids+=($!)
    e2e_until e2e_wm_running && return 0
  done
  echo "could not start openbox: $(cat "$E2E_DIR/openbox.log")" >&2
  return 1
}

# A window manager has announced itself on the root window.
e2e_wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

e2e_start_sound() {
  pulseaudio -n --daemonize=yes --exit-idle-time=-1 --disallow-exit \
    -L module-native-protocol-unix -L "module-null-sink sink_name=nullsink" \
    >"$E2E_DIR/pulse.log" 2>&1
  export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
  e2e_until pactl info >/dev/null 2>&1 || { echo "could not start PulseAudio" >&2; return 1; }
}

# A private session bus, as a desktop session has: the media controls and
# the accessibility bridge talk to it.
e2e_start_bus() {
  local bus
  mapfile -t bus < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
  export DBUS_SESSION_BUS_ADDRESS="${bus[0]:?no session bus}"
  e2e_pids+=("${bus[1]}")
}

# The ids of the mapped windows with exactly this title.
e2e_windows() {
  local regex="^$(sed 's/[][\\.*^$()+?{}|]/\\&/g' <<<"$1")\$"
  xdotool search --onlyvisible --name "$regex" 2>/dev/null || true
}

# Keeps in E2E_FOUND the first mapped window with this exact title, if any.
e2e_find_window() {
  E2E_FOUND=$(e2e_windows "$1" | head -n 1)
  [ -n "$E2E_FOUND" ]
}

# Waits until a window with this exact title is mapped, for at most $2
# tenths of a second (100); prints its id. The id printed is the one found:
# a second search can come back empty while other windows come and go.
e2e_wait_window() {
  E2E_TRIES=${2:-100} e2e_until e2e_find_window "$1" && echo "$E2E_FOUND"
}

# Prints "r g b" of the pixel at x,y of a window.
e2e_pixel() {
  import -silent -window "$1" -crop "1x1+$2+$3" -depth 8 txt:- 2>/dev/null |
    sed -n '2s/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p'
}

# Prints "x y width height" of the frame the window manager put around a
# window: the window's own area and the frame's edges, as the manager
# announces them.
e2e_frame() {
  local l r t b
  read -r l r t b < <(xprop -id "$1" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
  xwininfo -id "$1" | awk -v l="$l" -v r="$r" -v t="$t" -v b="$b" '
    /Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF} /Width:/ {w = $NF}
    /Height:/ {h = $NF} END {print x - l, y - t, w + l + r, h + t + b}'
}

# Prints "width height" of a window's own area, without the frame.
e2e_client_size() {
  xwininfo -id "$1" | awk '/Width:/ {w = $NF} /Height:/ {h = $NF} END {print w, h}'
}

# Runs a command every tenth of a second until it succeeds, at most
# E2E_TRIES (100) times E2E_SLOWDOWN.
e2e_until() {
  for _ in $(seq $((${E2E_TRIES:-100} * E2E_SLOWDOWN))); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

e2e_numlock() { xset q | sed -n 's/.*Num Lock: *\([a-z]*\).*/\1/p'; }

# Writes the settings file: [Form] and the lines given, or no file for "-".
e2e_form() {
  rm -f "$E2E_CONF"
  [ "${1:--}" = - ] || { echo "[Form]" && printf '%s\n' "$@"; } >"$E2E_CONF"
}

# Starts the player with these arguments (and the caller's environment;
# its standard error to E2E_PLAYER_ERR when set) and waits for its main
# window. Sets pid and id.
e2e_player() {
  "$bin/Chromola" "$@" 2>>"${E2E_PLAYER_ERR:-/dev/stderr}" &
  pid=$!
  e2e_pids+=("$pid")
  id=$(e2e_wait_window "$E2E_TITLE") || fail "main window did not appear"
}

# Process $1 ends within ten seconds (times E2E_SLOWDOWN), with status 0,
# after what $2 says.
e2e_ended() {
  timeout $((10 * E2E_SLOWDOWN)) tail -s 0.1 --pid="$1" -f /dev/null || fail "still running after $2"
  wait "$1" || fail "exit status $? after $2"
}

# Closes the player's window as a user does (Alt+F4 through the window
# manager); it must end with status 0.
e2e_close() {
  xdotool windowactivate --sync "$id" >/dev/null 2>&1 || true
  xdotool key alt+F4
  e2e_ended "$pid" "closing the window"
}

fail() {
  echo "FAIL: $*" >&2
  [ ! -s "${E2E_PLAYER_ERR:-}" ] || cat "$E2E_PLAYER_ERR" >&2
  exit 1
}
