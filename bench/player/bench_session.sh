# The benchmarks' desktop: a private session (Xvfb with openbox, a PulseAudio
# null sink) and a minute of music-like sound as $E2E_DIR/music.mp3 (a bass
# line, a chord and a hi-hat); sets xpid to the X server's process. Source it.
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/e2e/session.sh"
e2e_start_x
e2e_start_sound
python3 "$(dirname "${BASH_SOURCE[0]}")/music.py" "$E2E_DIR/music.wav"
lame --quiet -b 192 "$E2E_DIR/music.wav" "$E2E_DIR/music.mp3"
mkdir -p "$XDG_CONFIG_HOME"
# Xvfb picks its own display number; its process is the session's first.
xpid=${e2e_pids[0]}
