#!/usr/bin/env bash
# Light output end to end: the real player under Xvfb plays a drum loop with
# its lights on, against a real olad, all in a private network namespace.
# The Art-Net and sACN packets olad sends there are held against the colours
# the window showed (the player's colour log). Each run sets the lights up
# through the settings file:
#
#   run      universe address layout fixtures idle         closed
#   rgb      1        1       RGB    3        idle colour  mid-track
#   dimmer   300      505     D+RGB  3        dark         mid-track (the third
#                                                          fixture does not fit)
#   outage   2        1       RGB    1        idle colour  olad killed while the
#                                                          track plays, back 1.5 s
#                                                          later
#   strip    3        1       RGB    (300 pixels, one colour: 170 on universe 3,
#                                    130 on 4)  idle colour  mid-track
# Every other layout and the fit of the fixtures: dmx_frame_test. Then the
# same track with a 600-pixel strip straight to a DDP receiver on loopback
# (one colour): every frame it pushes is a shown colour over all pixels, in
# order, and the idle colour through the pause and at exit. The effects and the packets
# themselves: lights_ddp and the core tests.
# Usage: lights_test.sh BIN_DIR MAKE_TONE
source "$(dirname "${BASH_SOURCE[0]}")/ola_namespace.sh"
ola_ns_enter "$0" "$@"
bin="$1"
make_tone="$2"
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/session.sh"
e2e_undo+=(ola_teardown) # the session's exit trap takes the place of olad's
e2e_start_x
e2e_start_sound
"$make_tone" "$E2E_DIR/short.wav" drums 174 3 && "$make_tone" "$E2E_DIR/long.wav" drums 174 20 ||
  fail "cannot write the drum loop"
ola_start

# The receiver: Art-Net on 127.0.0.1:6454 (olad's own socket there takes
# SO_REUSEADDR too, and the more specific address gets the unicast), sACN on
# each universe's multicast group joined on the veth end olad sends from.
# Usage: start_receiver "UNIVERSE..." CAPTURE
start_receiver() {
  setpriv --pdeathsig KILL python3 - "$1" "$2" "$2.ready" "$OLA_ADDRESS" <<'PY' &
import select, socket, sys, time
universes, out_path, ready, address = sys.argv[1].split(), sys.argv[2], sys.argv[3], sys.argv[4]
artnet = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
artnet.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
artnet.bind(("127.0.0.1", 6454))
groups = ["239.255.%d.%d" % (int(u) >> 8, int(u) & 0xFF) for u in universes]
sacns = [socket.socket(socket.AF_INET, socket.SOCK_DGRAM) for _ in groups]
for sacn, group in zip(sacns, groups):
    sacn.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sacn.bind((group, 5568))
    sacn.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                    socket.inet_aton(group) + socket.inet_aton(address))
open(ready, "w").close()
with open(out_path, "w") as out:
    while True:
        for s in select.select([artnet] + sacns, [], [])[0]:
            data, now = s.recv(2048), time.time()
            # ArtDmx: ID, OpCode 0x5000 (LE), version, sequence, physical,
            # SubUni, Net, length (BE), data.
            if s is artnet and data[:10] == b"Art-Net\0\0\x50":
                got = "artnet", data[15] << 8 | data[14], data[18:18 + (data[16] << 8 | data[17])]
            # E1.31 data packet: options at 112 (0x40 stream terminated),
            # universe at 113, start code at 125, slots from 126.
            elif (s is not artnet and data[4:16] == b"ASC-E1.17\0\0\0" and not data[112] & 0x40
                  and data[125] == 0):
                got = "sacn", data[113] << 8 | data[114], data[126:]
            else:
                continue
            out.write("%s %.6f %d %s\n" % (got[0], now, got[1], got[2].hex()))
            out.flush()
PY
  receiver=$!
  e2e_pids+=("$receiver")
  e2e_until test -e "$2.ready" || fail "the receiver did not start"
}

# The colour log shows the idle colour after the track and then `n` ticks of
# the track again.
played_again() {
  awk -v n="$2" '$2 == 12 && $3 == 17 && $4 == 11 {idle = played; after = 0; next}
    {played = 1} idle {after++} END {exit !(after >= n)}' "$1"
}

lines() { cat "$1" 2>/dev/null | wc -l; }
has_lines() { [ "$(lines "$1")" -ge "$2" ]; }

run() {
  local name="$1" universe="$2" address="$3" layout="$4" fixtures="$5" idle="$6" pixels="${7:-1}"
  local out="$E2E_DIR/$name" track=short.wav down=0 back=0 help ticks universes="$2"
  [ "$name" = outage ] && track=long.wav
  ola_patch_universe "$universe"
  if [ "$pixels" -gt 1 ]; then
    universes="$universe $((universe + 1))"
    ola_patch_universe $((universe + 1)) 1
  fi
  start_receiver "$universes" "$out.capture"
  e2e_form "Path=$E2E_DIR/$track" Pause=2 Scroll=32 Lights=1 "Universe=$universe" \
    "Address=$address" "Layout=$layout" "Fixtures=$fixtures" "IdleLights=$idle" "Pixels=$pixels"
  E2E_PLAYER_ERR="$out.err"
  CHROMOLA_COLOUR_LOG="$out.log" e2e_player
  [ "$(readlink "/proc/$pid/ns/net")" = "$(readlink /proc/self/ns/net)" ] &&
    [ "$(readlink "/proc/$pid/ns/net")" != "$(readlink /proc/1/ns/net)" ] ||
    fail "$name: the player is not inside the private network namespace"
  if [ "$name" = outage ]; then
    e2e_until has_lines "$out.log" 150 || fail "outage: the track does not play"
    down=$EPOCHREALTIME
    ticks=$(lines "$out.log")
    ola_stop
    # Without olad the window still takes keys and keeps showing the track.
    xdotool windowactivate --sync "$id" key F1
    help=$(e2e_wait_window "Vazuvideroz HELP" 50) || fail "outage: no help window without olad"
    xdotool windowactivate --sync "$help" key alt+F4
    sleep 1.5
    [ $(($(lines "$out.log") - ticks)) -ge 30 ] || fail "outage: the display stopped without olad"
    ola_start
    back=$OLA_LISTENING_AT
    sleep 3
  else
    # Closed on the second round, after the pause's idle look.
    e2e_until played_again "$out.log" 40 || e2e_until played_again "$out.log" 40 ||
      fail "$name: the track did not come round again"
  fi
  e2e_close
  sleep 0.3
  kill "$receiver"
  wait "$receiver" 2>/dev/null || true
  python3 - "$out" "$universe" "$address" "$layout" "$fixtures" "$idle" "$down" "$back" \
    "$pixels" <<'PY' ||
import sys
from itertools import groupby
out = sys.argv[1]
universe, address, layout, fixtures, idle = map(int, sys.argv[2:7])
down, back = float(sys.argv[7]), float(sys.argv[8])
pixels = int(sys.argv[9])
failures = []

# The frames of every universe as the lights should get them, worked out
# apart from the player's code: `fixtures` fixtures from the address, or a
# strip of `pixels` fixtures from the address on as many universes as it
# takes, each next one from slot 1.
def frames(r, g, b):
    fixture = [[r, g, b], [r, g, b, min(r, g, b)], [255, r, g, b]][layout]
    width, start = len(fixture), address - 1
    result, left = [], pixels if pixels > 1 else fixtures
    while True:
        slots = [0] * 512
        count = min(left, (512 - start) // width)
        for i in range(count):
            slots[start + i * width:start + (i + 1) * width] = fixture
        result.append(slots)
        left -= count
        if pixels == 1 or left <= 0:
            return result
        start = 0

universes = [universe + i for i in range(len(frames(0, 0, 0)))]
packets = {"artnet": [], "sacn": []}
for line in open(out + ".capture"):
    kind, t, got_universe, hexdata = line.split()
    packets[kind].append((float(t), int(got_universe), list(bytes.fromhex(hexdata))))

# Art-Net port address: net 0, subnet 0, universe = OLA universe mod 16.
wanted = {"artnet": [u % 16 for u in universes], "sacn": universes}
for kind, all_got in packets.items():
    wrong = sorted({u for _, u, _ in all_got} - set(wanted[kind]))
    if wrong:
        failures.append("%s: packets for universe %s, not %s" % (kind, wrong, wanted[kind]))

def check(kind, got, expected, idle_frame):
    if not got:
        failures.append("%s: no packets" % kind)
        return
    # Each packet is one of the shown frames, within +-1 per slot, in the
    # order they were shown (a frame may repeat).
    position, found = 0, []
    for _, _, slots in got:
        found.append(next((j for j in range(position, len(expected)) if len(slots) == 512
                             and all(abs(a - b) <= 1 for a, b in zip(slots, expected[j]))), None))
        position = position if found[-1] is None else found[-1]
    if None in found:
        failures.append("%s: %d packets match no shown frame in order" % (kind, found.count(None)))
    if got[-1][2] != idle_frame:
        failures.append("%s: the last frame is not the idle frame but %s..." % (kind, got[-1][2][:8]))
    if down:
        after = [t for t, _, _ in got if t > back]
        if not [t for t, _, _ in got if t < down] or not after:
            failures.append("%s: no packets before the outage or none after it" % kind)
        elif after[0] - back > 2.0:
            failures.append("%s: output resumed %.3f s after olad came back" % (kind, after[0] - back))
    else:
        # The pause between the rounds: the idle frame, repeated while nothing
        # else comes, between the colours of the two rounds.
        runs = [list(run) for _, run in groupby(got, key=lambda p: p[2] == idle_frame)]
        if not any(r[0][2] == idle_frame and r[-1][0] - r[0][0] > 0.9 for r in runs[1:-1]):
            failures.append("%s: no idle frame through the pause" % kind)
        seen = len(set(found) - {None})
        if seen < 0.8 * len(expected):
            failures.append("%s: only %d of %d shown frames arrived" % (kind, seen, len(expected)))

# The log writes the idle look as the idle colour, whatever the lights get.
# A frame that repeats goes out once.
shown = [tuple(map(int, l.split()[1:])) for l in open(out + ".log")] + [(12, 17, 11)]
for kind, all_got in packets.items():
    for index, port_address in enumerate(wanted[kind]):
        idle_frame = frames(12, 17, 11)[index] if idle else [0] * 512
        expected = [f for f, _ in groupby(idle_frame if c == (12, 17, 11) else frames(*c)[index]
                                          for c in shown)]
        check("%s universe %d" % (kind, port_address),
              [p for p in all_got if p[1] == port_address], expected, idle_frame)

messages = [l for l in open(out + ".err") if l.startswith("chromola: lights")]
if len(messages) != (1 if down else 0):
    failures.append("lights messages on stderr: %r" % messages)
sys.exit("\n".join("FAIL: " + f for f in failures) or None)
PY
    fail "$name"
}

run rgb 1 1 0 3 1
run dimmer 300 505 2 3 0
run outage 2 1 0 1 1
run strip 3 1 0 1 1 300

# The DDP receiver: every packet as time, flags, offset and data.
out="$E2E_DIR/ddp"
setpriv --pdeathsig KILL python3 - "$out.capture" "$out.capture.ready" <<'PY' &
import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 22)
s.bind(("127.0.0.1", 4048))
open(sys.argv[2], "w").close()
with open(sys.argv[1], "w") as out:
    while True:
        data = s.recv(2048)
        # Flags, sequence, type, id, offset (BE), length (BE), data.
        length = data[8] << 8 | data[9]
        out.write("%.6f %d %d %s\n" % (time.time(), data[0], int.from_bytes(data[4:8], "big"),
                                       data[10:10 + length].hex()))
        out.flush()
PY
receiver=$!
e2e_pids+=("$receiver")
e2e_until test -e "$out.capture.ready" || fail "the DDP receiver did not start"
e2e_form "Path=$E2E_DIR/short.wav" Pause=2 Scroll=32 Lights=1 Output=1 DdpHost=127.0.0.1 \
  Pixels=600 IdleLights=1
E2E_PLAYER_ERR="$out.err"
CHROMOLA_COLOUR_LOG="$out.log" e2e_player
e2e_until played_again "$out.log" 40 || e2e_until played_again "$out.log" 40 ||
  fail "ddp: the track did not come round again"
e2e_close
sleep 0.3
kill "$receiver"
wait "$receiver" 2>/dev/null || true
python3 - "$out" <<'PY' || fail ddp
import sys
from itertools import groupby
out = sys.argv[1]
failures = []
frames, data = [], bytearray()
for line in open(out + ".capture"):
    t, flags, offset, hexdata = line.split()
    if int(offset) != len(data):
        failures.append("a packet at offset %s after %d bytes" % (offset, len(data)))
        data = bytearray()
        continue
    data += bytes.fromhex(hexdata)
    if int(flags) & 1:  # push: the frame is whole
        frames.append((float(t), list(data)))
        data = bytearray()
def strip(c):
    return list(c) * 600
idle = strip((12, 17, 11))
shown = [tuple(map(int, l.split()[1:])) for l in open(out + ".log")] + [(12, 17, 11)]
expected = [f for f, _ in groupby(strip(c) for c in shown)]
position, found = 0, []
for _, pixels in frames:
    found.append(next((j for j in range(position, len(expected)) if len(pixels) == 1800
                       and all(abs(a - b) <= 1 for a, b in zip(pixels, expected[j]))), None))
    position = position if found[-1] is None else found[-1]
if not frames:
    failures.append("no frames")
else:
    if None in found:
        failures.append("%d frames match no shown colour in order" % found.count(None))
    if frames[-1][1] != idle:
        failures.append("the last frame is not the idle colour but %s..." % frames[-1][1][:6])
    runs = [list(run) for _, run in groupby(frames, key=lambda f: f[1] == idle)]
    if not any(r[0][1] == idle and r[-1][0] - r[0][0] > 0.9 for r in runs[1:-1]):
        failures.append("no idle frame through the pause")
    seen = len(set(found) - {None})
    if seen < 0.8 * len(expected):
        failures.append("only %d of %d shown frames arrived" % (seen, len(expected)))
messages = [l for l in open(out + ".err") if l.startswith("chromola: lights")]
if messages:
    failures.append("lights messages on stderr: %r" % messages)
sys.exit("\n".join("FAIL: " + f for f in failures) or None)
PY
