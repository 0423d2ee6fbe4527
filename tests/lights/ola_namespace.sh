# olad in a network of its own, for the light output's test and benchmark.
# Source this file, then call ola_ns_enter "$0" "$@" first: it runs the
# calling script again inside a new network namespace (root only; exit 77
# otherwise) whose only links are lo and a veth pair with both ends inside,
# so that nothing olad sends can reach a real network. ola_start then runs
# olad as nobody on a config folder of its own in which every plugin but
# Art-Net (on lo, 127.0.0.1) and E1.31 (on the veth pair, 198.18.0.1) is
# switched off.
#
# Art-Net: with use_loopback olad takes lo, whose "broadcast" address is
# 127.0.0.1 itself; always_broadcast makes it send ArtDmx there without
# first hearing an ArtPollReply from a node. E1.31 needs an interface that
# can multicast, which lo is not, hence the veth pair and the multicast
# route; the sending end's own multicast loop delivers to listeners there.

set -euo pipefail

OLA_ADDRESS=198.18.0.1
OLA_PID=""
OLA_DIR=""
OLA_LISTENING_AT=""  # wall-clock seconds when olad's RPC port last opened

ola_ns_enter() {
  if [ -z "${CHROMOLA_OLA_NS:-}" ]; then
    if [ "$(id -u)" -ne 0 ]; then
      echo "skipped: a private network namespace needs root" >&2
      exit 77
    fi
    CHROMOLA_OLA_NS=1 exec unshare --net bash "$@"
  fi
  # Never go on in the machine's own network.
  if [ "$(readlink /proc/self/ns/net)" = "$(readlink /proc/1/ns/net)" ]; then
    echo "not inside a private network namespace" >&2
    exit 1
  fi
  ip link set lo up
  ip link add ola0 type veth peer name ola1
  ip addr add "$OLA_ADDRESS/24" dev ola0
  ip link set ola0 up
  ip link set ola1 up
  ip route add 224.0.0.0/4 dev ola0
  local links
  links=$(ip -o link show | awk -F': ' '{sub(/@.*/, "", $2); print $2}' | sort | tr '\n' ' ')
  if [ "$links" != "lo ola0 ola1 " ]; then
    echo "unexpected links in the namespace: $links" >&2
    exit 1
  fi

  OLA_DIR="$(mktemp -d /tmp/chromola-ola.XXXXXX)"
  # olad, as nobody, must reach its config folder inside this one: when it
  # cannot read the files it runs every plugin with its defaults.
  chmod 755 "$OLA_DIR"
  mkdir "$OLA_DIR/conf"
  trap ola_teardown EXIT
  # Every plugin olad 0.10 ships, by its config prefix.
  local plugin
  for plugin in dummy espnet ftdidmx gpio karate kinet milinst opendmx openpixelcontrol osc \
    pathport renard sandnet shownet spi stageprofi uartdmx usbdmx usbserial; do
    echo "enabled = false" >"$OLA_DIR/conf/ola-$plugin.conf"
  done
  printf '%s\n' "enabled = true" "ip = 127.0.0.1" "use_loopback = true" \
    "always_broadcast = true" >"$OLA_DIR/conf/ola-artnet.conf"
  printf '%s\n' "enabled = true" "ip = $OLA_ADDRESS" >"$OLA_DIR/conf/ola-e131.conf"
  chown -R nobody:nogroup "$OLA_DIR/conf"
}

# Ends olad and removes its folder; the exit trap, or for a caller with an
# exit trap of its own, part of that.
ola_teardown() {
  # A frozen olad must go too.
  [ -z "$OLA_PID" ] || kill -CONT "$OLA_PID" 2>/dev/null || true
  ola_stop
  rm -rf "$OLA_DIR"
}

# Starts olad and waits until it answers with both plugins running. The
# ola_* tools start an olad of their own (as root, with the default config)
# when none listens, so none of them runs before the RPC port is open. olad
# dies with the script, even one killed at a time-out.
ola_start() {
  setpriv --reuid=nobody --regid=nogroup --clear-groups --pdeathsig KILL \
    olad -c "$OLA_DIR/conf" --no-http --no-register-with-dns-sd >>"$OLA_DIR/olad.log" 2>&1 &
  OLA_PID=$!
  local _ devices
  OLA_LISTENING_AT=""
  for _ in $(seq 1000); do
    if [ -z "$OLA_LISTENING_AT" ]; then
      [ -n "$(ss -Hltn 'sport = :9010')" ] && OLA_LISTENING_AT=$EPOCHREALTIME
    else
      devices=$(ola_dev_info | awk '$1 == "Device" {print $3}' | sort | tr '\n' ' ')
      if [ "$devices" = "ArtNet E1.31 " ]; then
        ola_check_plugins
        return 0
      fi
    fi
    sleep 0.01
  done
  echo "olad did not start:" >&2
  cat "$OLA_DIR/olad.log" >&2
  return 1
}

# Exactly Art-Net and E1.31 run, as olad itself reports: a plugin the setup
# does not know, or config files olad could not read, would show here.
ola_check_plugins() {
  local id state active=""
  for id in $(ola_plugin_info | awk '$1 ~ /^[0-9]+$/ {print $1}'); do
    state=$(ola_plugin_state -p "$id")
    if grep -qx "Active: True" <<<"$state"; then
      active+="$(head -n 1 <<<"$state");"
    fi
  done
  if [ "$active" != "ArtNet;E1.31 (sACN);" ]; then
    echo "olad runs other plugins than Art-Net and E1.31: $active" >&2
    exit 1
  fi
}

ola_stop() {
  if [ -n "$OLA_PID" ]; then
    kill "$OLA_PID" 2>/dev/null || true
    wait "$OLA_PID" 2>/dev/null || true
    OLA_PID=""
  fi
}

# Patches universe $1 to output port $2 (default 0) of Art-Net and of E1.31.
ola_patch_universe() {
  local name device
  for name in ArtNet E1.31; do
    device=$(ola_dev_info | awk -v n="$name" '$1 == "Device" && $3 == n {sub(":", "", $2); print $2}')
    ola_patch -d "$device" -p "${2:-0}" -u "$1"
  done
}

