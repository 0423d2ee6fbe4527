# A private desktop session for end-to-end tests: an X server (Xvfb), a
# window manager (openbox), a sound server with a null sink (PulseAudio) and,
# where asked for, a session bus, all in a temporary folder and all stopped
# when the test's shell exits. Source this file; it sets DISPLAY,
# PULSE_SERVER, HOME, XDG_* (and DBUS_SESSION_BUS_ADDRESS) for the test.

set -euo pipefail

E2E_DIR="$(mktemp -d /tmp/chromola-e2e.XXXXXX)"
export HOME="$E2E_DIR/home"
export XDG_CONFIG_HOME="$HOME/.config"
export XDG_RUNTIME_DIR="$E2E_DIR/run"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS
export QT_QPA_PLATFORM=xcb

E2E_SCREEN_WIDTH=1280
E2E_SCREEN_HEIGHT=800

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

# Picks a free display number and starts Xvfb on it.
e2e_start_x() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 "${E2E_SCREEN_WIDTH}x${E2E_SCREEN_HEIGHT}x24" -nolisten tcp >"$E2E_DIR/xvfb.log" 2>&1 &
    e2e_pids+=($!)
    export DISPLAY=":$n"
    for _ in $(seq 50); do
      xdpyinfo >/dev/null 2>&1 && break
      sleep 0.1
    done
    if xdpyinfo >/dev/null 2>&1; then
      openbox >"$E2E_DIR/openbox.log" 2>&1 &
      e2e_pids+=($!)
      sleep 0.5
      return 0
    fi
  done
  echo "could not start Xvfb" >&2
  return 1
}

e2e_start_sound() {
  pulseaudio -n --daemonize=yes --exit-idle-time=-1 --disallow-exit \
    -L module-native-protocol-unix -L "module-null-sink sink_name=nullsink" \
    >"$E2E_DIR/pulse.log" 2>&1
  export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
  for _ in $(seq 50); do
    pactl info >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "could not start PulseAudio" >&2
  return 1
}

# A private session bus, for the desktop's media controls.
e2e_start_session_bus() {
  local address pid
  { read -r address; read -r pid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
  [ -n "$address" ] || { echo "could not start a session bus" >&2; return 1; }
  export DBUS_SESSION_BUS_ADDRESS="$address"
  e2e_pids+=("$pid")
}

# The regular expression that matches exactly this window title.
e2e_title_regex() {
  printf '^%s$' "$(printf '%s' "$1" | sed 's/[][\\.*^$()+?{}|]/\\&/g')"
}

# Waits until a window with this exact title is mapped; prints its id.
e2e_wait_window() {
  local title="$1" tries="${2:-100}" id
  for _ in $(seq "$tries"); do
    id=$(xdotool search --onlyvisible --name "$(e2e_title_regex "$title")" 2>/dev/null | head -n 1 || true)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# Prints "r g b" of the pixel at x,y of a window.
e2e_pixel() {
  local id="$1" x="$2" y="$3"
  import -silent -window "$id" -crop "1x1+$x+$y" -depth 8 txt:- 2>/dev/null |
    sed -n '2s/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p'
}

# Prints "x y width height" of the frame the window manager put around a
# window: the window's ancestor just below the root, border included.
e2e_frame() {
  local id="$1" tree parent
  while tree=$(xwininfo -tree -id "$id") &&
    parent=$(sed -n 's/^ *Parent window id: \(0x[0-9a-f]*\).*/\1/p' <<<"$tree") &&
    ! grep -q "^ *Root window id: $parent " <<<"$tree"; do
    id="$parent"
  done
  xwininfo -id "$id" | awk '/Relative upper-left X/ {x = $NF} /Relative upper-left Y/ {y = $NF}
    /Width:/ {w = $NF} /Height:/ {h = $NF} /Border width:/ {b = $NF}
    END {print x, y, w + 2 * b, h + 2 * b}'
}

# Prints "width height" of a window's own area, without the frame.
e2e_client_size() {
  xwininfo -id "$1" | awk '/Width:/ {w = $NF} /Height:/ {h = $NF} END {print w, h}'
}

# Runs a command every tenth of a second until it succeeds, for at most ten
# seconds.
e2e_until() {
  for _ in $(seq 100); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

e2e_numlock() {
  xset q | sed -n 's/.*Num Lock: *\([a-z]*\).*/\1/p'
}

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
