#!/usr/bin/env bash
# Light output end to end: lights_probe drives OlaLights against a real olad
# in a private network namespace, and the Art-Net and sACN packets olad
# sends there are held against the colours the probe fed.
# Usage: lights_test.sh PROBE CASE
#
#   case        universe address layout fixtures idle
#   rgb         1        1       RGB    1        dark
#   rgbw        7        100     RGBW   1        idle colour
#   dimmer_rgb  300      509     D+RGB  1        idle colour (ends on slot 512)
#   fixtures3   2        10      RGB    3        dark
#   close       3        1       RGB    1        idle colour; closed mid-track,
#                                                without ShowIdle
#   outage      1        1       RGB    1        idle colour; olad stopped for
#                                                1.5 s and started again
source "$(dirname "${BASH_SOURCE[0]}")/ola_namespace.sh"
ola_ns_enter "$0" "$@"

probe="$1"
case_name="$2"
read -r universe address layout fixtures idle < <(awk -v c="$case_name" '$1 == c {print $2, $3, $4, $5, $6}' <<'CASES'
rgb 1 1 0 1 0
rgbw 7 100 1 1 1
dimmer_rgb 300 509 2 1 1
fixtures3 2 10 0 3 0
close 3 1 0 1 1
outage 1 1 0 1 1
CASES
)
[ -n "${universe:-}" ] || { echo "unknown case $case_name" >&2; exit 2; }

ola_start
ola_patch_universe "$universe"

# The receiver: Art-Net on 127.0.0.1:6454 (olad's own socket there takes
# SO_REUSEADDR too, and the more specific address gets the unicast), sACN on
# the universe's multicast group joined on the veth end olad sends from.
setpriv --pdeathsig KILL python3 - "$universe" "$OLA_DIR/capture" "$OLA_DIR/ready" "$OLA_ADDRESS" <<'PY' &
import select, socket, struct, sys, time
universe, out_path, ready, address = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
artnet = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
artnet.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
artnet.bind(("127.0.0.1", 6454))
group = "239.255.%d.%d" % (universe >> 8, universe & 0xFF)
sacn = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sacn.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
sacn.bind((group, 5568))
sacn.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                socket.inet_aton(group) + socket.inet_aton(address))
open(ready, "w").close()
with open(out_path, "w") as out:
    while True:
        readable, _, _ = select.select([artnet, sacn], [], [])
        for s in readable:
            data = s.recv(2048)
            now = time.time()
            if s is artnet:
                # ArtDmx: ID, OpCode 0x5000 (LE), version, sequence, physical,
                # SubUni, Net, length (BE), data.
                if data[:8] != b"Art-Net\0" or struct.unpack("<H", data[8:10])[0] != 0x5000:
                    continue
                length = struct.unpack(">H", data[16:18])[0]
                out.write("artnet %.6f %d %s\n" % (now, data[15] << 8 | data[14], data[18:18 + length].hex()))
            else:
                # E1.31 data packet: options at 112 (0x40 stream terminated),
                # universe at 113, start code at 125, slots from 126.
                if data[4:16] != b"ASC-E1.17\0\0\0" or data[112] & 0x40 or data[125] != 0:
                    continue
                out.write("sacn %.6f %d %s\n" % (now, struct.unpack(">H", data[113:115])[0], data[126:].hex()))
            out.flush()
PY
receiver=$!
OLA_CHILDREN+=("$receiver")
for _ in $(seq 400); do [ -e "$OLA_DIR/ready" ] && break; sleep 0.05; done
[ -e "$OLA_DIR/ready" ] || { echo "the receiver did not start" >&2; exit 1; }

down=0
back=0
if [ "$case_name" = outage ]; then
  "$probe" "$universe" "$address" "$layout" "$fixtures" "$idle" 10 >"$OLA_DIR/fed" 2>"$OLA_DIR/err" &
  probe_pid=$!
  sleep 2
  down=$EPOCHREALTIME
  ola_stop
  sleep 1.5
  ola_start
  back=$OLA_LISTENING_AT
  wait "$probe_pid" || { echo "probe failed" >&2; cat "$OLA_DIR/err" >&2; exit 1; }
else
  close=""
  [ "$case_name" = close ] && close=close
  "$probe" "$universe" "$address" "$layout" "$fixtures" "$idle" 3 $close >"$OLA_DIR/fed" 2>"$OLA_DIR/err" ||
    { echo "probe failed" >&2; cat "$OLA_DIR/err" >&2; exit 1; }
fi
sleep 0.3
kill "$receiver"
wait "$receiver" 2>/dev/null || true

python3 - "$OLA_DIR" "$universe" "$address" "$layout" "$fixtures" "$idle" "$down" "$back" <<'PY'
import sys
folder = sys.argv[1]
universe, address, layout, fixtures, idle = map(int, sys.argv[2:7])
down, back = float(sys.argv[7]), float(sys.argv[8])
outage = back > 0
failures = []

def frame(r, g, b):
    """The frame as the lights should get it, worked out apart from the player's code."""
    fixture = [[r, g, b], [r, g, b, min(r, g, b)], [255, r, g, b]][layout]
    slots = [0] * 512
    start = address - 1
    for i in range(min(fixtures, (512 - start) // len(fixture))):
        at = start + i * len(fixture)
        slots[at:at + len(fixture)] = fixture
    return slots

idle_frame = frame(12, 17, 11) if idle else [0] * 512

fed, connected, ticks_expected = [], [], int((10 if outage else 3) * 1000 / 17)
idle_called = closing = None
for line in open(folder + "/fed"):
    word, t, *rest = line.split()
    if word == "colour":
        fed.append(frame(*map(int, rest[1:])))
    elif word == "connected":
        connected.append(int(rest[0]))
    elif word == "idle":
        idle_called = float(t)
    elif word == "closing":
        closing = float(t)
if len(fed) != ticks_expected:
    failures.append("probe fed %d ticks, not %d" % (len(fed), ticks_expected))
expected = fed + [idle_frame]

packets = {"artnet": [], "sacn": []}
for line in open(folder + "/capture"):
    kind, t, got_universe, hexdata = line.split()
    packets[kind].append((float(t), int(got_universe), list(bytes.fromhex(hexdata))))

# Art-Net port address: net 0, subnet 0, universe = OLA universe mod 16.
wanted_universe = {"artnet": universe % 16, "sacn": universe}
for kind, got in packets.items():
    if not got:
        failures.append("%s: no packets" % kind)
        continue
    wrong = {u for _, u, _ in got if u != wanted_universe[kind]}
    if wrong:
        failures.append("%s: packets for universe %s, not %d" % (kind, sorted(wrong), wanted_universe[kind]))
    # Each packet is one of the fed frames, within +-1 per slot, in the
    # order they were fed (a frame may repeat).
    position, seen, stray = 0, set(), 0
    for _, _, slots in got:
        match = next((j for j in range(position, len(expected))
                      if len(slots) == 512 and all(abs(a - b) <= 1 for a, b in zip(slots, expected[j]))), None)
        if match is None:
            stray += 1
            continue
        position = match
        seen.add(match)
    if stray:
        failures.append("%s: %d packets match no fed frame in order" % (kind, stray))
    if got[-1][2] != idle_frame:
        failures.append("%s: the last frame is not the idle frame but %s..." % (kind, got[-1][2][:8]))
    # ShowIdle's own frame, before closing sends it again.
    if idle_called and not any(idle_called < t < closing and s == idle_frame for t, _, s in got):
        failures.append("%s: no idle frame between ShowIdle and closing" % kind)
    fed_seen = len([j for j in seen if j < len(fed)])
    if outage:
        before = [t for t, _, _ in got if t < down]
        after = [t for t, _, _ in got if t > back]
        if not before or not after:
            failures.append("%s: no packets before the outage or none after it" % kind)
        else:
            print("%s: first packet %.3f s after olad listened again" % (kind, after[0] - back))
            if after[0] - back > 2.0:
                failures.append("%s: output resumed %.3f s after olad came back" % (kind, after[0] - back))
    elif fed_seen < 0.8 * len(fed):
        failures.append("%s: only %d of %d fed frames arrived" % (kind, fed_seen, len(fed)))
    print("%s: %d packets, %d of %d fed frames" % (kind, len(got), fed_seen, len(fed)))

messages = [l for l in open(folder + "/err") if l.strip()]
# The first tick may come before the sender has connected.
if connected[:1] == [0]:
    connected = connected[1:]
if outage:
    if connected != [1, 0, 1]:
        failures.append("Connected() went %s, not 1 0 1" % connected)
    if len(messages) != 1 or not messages[0].startswith("chromola: lights:"):
        failures.append("one line on stderr per outage expected, got %r" % messages)
else:
    if connected != [1]:
        failures.append("Connected() went %s, not 1" % connected)
    if messages:
        failures.append("stderr not quiet: %r" % messages)

for f in failures:
    print("FAIL:", f)
sys.exit(1 if failures else 0)
PY
