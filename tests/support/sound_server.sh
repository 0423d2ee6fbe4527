#!/usr/bin/env bash
# A private PulseAudio with one null sink for the tests that reach a sound
# server: `start DIR` runs it with its runtime folder in DIR (the client
# finds it at unix:DIR/pulse/native), `stop DIR` ends it. Where PulseAudio
# cannot start, the tests that need it skip.
set -u
dir="$2"
export XDG_RUNTIME_DIR="$dir" HOME="$dir"
case "$1" in
  start)
    # A server still running from an earlier run is stopped before its
    # folder goes, or it would be left running with its socket gone.
    if pulseaudio -k 2>/dev/null; then
      for _ in $(seq 50); do pulseaudio --check 2>/dev/null || break; sleep 0.1; done
    fi
    rm -rf "$dir" && mkdir -p "$dir" && chmod 700 "$dir"
    pulseaudio -n --daemonize=yes --exit-idle-time=-1 --disallow-exit \
      -L module-native-protocol-unix -L "module-null-sink sink_name=nullsink" >/dev/null 2>&1 ||
      echo "sound_server: PulseAudio did not start; the sound-server tests will skip"
    ;;
  stop)
    pulseaudio -k 2>/dev/null || true
    rm -rf "$dir"
    ;;
esac
exit 0
