#!/usr/bin/env bash
# Did it wake? lumora watches a real sleep, as root, under software emulation:
# a QEMU guest with an e100 suspends to RAM twice, each time after the
# package's sleep hook has recorded its card (first disarmed, wol d, then
# armed, wol g). Its card's tap is on a bridge in a namespace of this
# script's own, where lumora watches br0; wakeonlan sends from a second
# namespace's veth on the same bridge. Disarmed and left asleep, lumora must
# say no_sign (exit 4) and the guest send not one frame; the test then
# resumes it by hand (QMP system_wakeup, as a power button would). Armed,
# QEMU does not emulate the card's wake signal, so the test plays it once
# lumora has reported the packet; the resumed guest asks for an address with
# udhcpc, and lumora must say woke, by dhcp. The merge of the hook's records
# and lumora's must then say the first attempt failed as the card was not
# armed when the guest went to sleep.
#   qemu_sleep_test.sh LUMORA_BINARY
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/qemu_common.sh"
network=10.98.0 asleep_window=12
ns=lumora-sleep-$$ sender=lumora-sleep-tx-$$

# The bridge, the guest's tap on it and a veth from the sender's namespace.
bridge() {
  new_namespace "$ns"
  new_namespace "$sender"
  ip -n "$ns" link add br0 type bridge
  ip -n "$ns" addr add $network.1/24 brd + dev br0
  ip -n "$ns" tuntap add dev tap0 mode tap
  ip link add wire netns "$ns" type veth peer name wire netns "$sender"
  ip -n "$sender" addr add $network.2/24 brd + dev wire
  local port
  # addrgenmode none: no IPv6 chatter of the host's own queued for the guest.
  for port in tap0 wire; do ip -n "$ns" link set $port master br0 addrgenmode none up; done
  ip -n "$ns" link set br0 addrgenmode none up
  ip -n "$sender" link set wire addrgenmode none up
}

# The result of one QMP command: the status for query-status, else nothing.
qmp() {
  /usr/bin/python3 - "$work/qmp" "$1" <<'EOF'
import json, socket, sys
s = socket.socket(socket.AF_UNIX)
s.connect(sys.argv[1])
f = s.makefile("rw")
f.readline()  # the greeting
for command in "qmp_capabilities", sys.argv[2]:
    print(json.dumps({"execute": command}), file=f, flush=True)
    while "return" not in (r := json.loads(f.readline())):  # events come between
        if "error" in r:
            sys.exit(f"QMP {command}: {r['error']['desc']}")
print(r["return"].get("status", ""))
EOF
}
suspended() { [ "$(qmp query-status)" = suspended ]; }
# Frames the guest has sent: the tap's receive side, what QEMU writes into it.
guest_frames() { ip -n "$ns" -s -j link show tap0 | /usr/bin/python3 -c 'import json, sys; print(json.load(sys.stdin)[0]["stats64"]["rx"]["packets"])'; }

# Independent of lumora: prints "ready" once it listens on the bridge, then
# the time (s since the epoch) of the first DHCP DISCOVER from the guest.
sniff_discover() {
  ip netns exec "$ns" /usr/bin/python3 - "$guest_mac" >"$work/discover" <<'EOF' &
import socket, sys, time
mac = bytes.fromhex(sys.argv[1].replace(":", ""))
s = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(3))  # ETH_P_ALL
s.bind(("br0", 0))
print("ready", flush=True)
while True:
    f = s.recv(2048)
    # From its MAC: IPv4 without options, UDP 68 to 67, a BOOTP request for its
    # MAC whose first DHCP option is message type 1, DISCOVER.
    if (f[6:12] == mac and f[12:15] == b"\x08\x00\x45" and f[23] == 17 and f[34:38] == b"\x00\x44\x00\x43"
            and f[42] == 1 and f[70:76] == mac and f[278:285] == bytes.fromhex("63825363350101")):
        print(time.time(), flush=True)
        break
EOF
  pids+=($!)
  wait_for "ready from the sniffer" 30 grep -q ready "$work/discover"
}

has() { grep -q -- "$2" "$1" 2>/dev/null; }
ended() { ! kill -0 "$1" 2>/dev/null; }
# Whether lumora's NAME.out or NAME.err has PATTERN; fails once it has ended without.
says() {
  has "$work/$1.$2" "$3" && return
  ended "${pids[-1]}" || return 1
  has "$work/$1.$2" "$3" || fail "lumora ($1) ended without '$3': $(cat "$work/$1.out" "$work/$1.err")"
}

# Runs lumora on the bridge for the guest's MAC as NAME, with ARGS, and sends
# the magic packet once it listens; returns once lumora has reported it.
watch_and_send() {
  local name=$1
  shift
  ip netns exec "$ns" "$lumora" -i br0 --mac $guest_mac --format json "$@" >"$work/$name.out" 2>"$work/$name.err" &
  pids+=($!)
  wait_for "'listening on' from lumora ($name)" 60 says $name err "listening on"
  sent=$EPOCHREALTIME
  ip netns exec "$sender" wakeonlan -i $network.255 $guest_mac >/dev/null || fail "wakeonlan could not send (scripts/setup installs it)"
  wait_for "record of the magic packet from lumora ($name)" 60 says $name out '"target_mac"'
  reported=$EPOCHREALTIME
  echo "REPORTED ($name): $(elapsed "$sent") s from wakeonlan to lumora's record"
}

# code: lumora's exit code, once it has ended within `seconds`; its last line.
finish() {
  wait_for "end of lumora" "$1" ended "${pids[-1]}"
  code=0
  wait "${pids[-1]}" || code=$?
  echo "LUMORA $2: $(tail -n 1 "$work/$2.out")"
}

# Passes when the Python expression holds of the json lines in NAME.out:
# magic is the magic packet's record, awake the outcome (None if none), card
# the readiness record of the guest's MAC, code lumora's exit code.
expect_records() {
  local name=$1 code=$2 what=$3 expression=$4
  /usr/bin/python3 - "$work/$name.out" "$code" "$expression" "$guest_mac" <<'EOF' ||
import json, sys
records = [json.loads(line) for line in open(sys.argv[1]) if line.startswith("{")]
magic = next((r for r in records if r.get("record", "magic") == "magic"), None)
awake = next((r for r in records if r.get("record") == "awake"), None)
card = next((r for r in records if r.get("record") == "readiness" and r["mac"] == sys.argv[4]), None)
code = int(sys.argv[2])
sys.exit(0 if eval("(" + sys.argv[3] + ")") else 1)  # parentheses: it may span lines
EOF
    fail "$what: exit $code, the records: $(cat "$work/$name".{out,err} 2>/dev/null)"
  echo "PASS: $what"
}
magic_ok='magic["target_mac"] == "'$guest_mac'" and magic["interface"] == "br0" and magic["kind"] == "udp4"
  and magic["destination"] == "'$network'.255"'
outcome_ok='awake["target_mac"] == "'$guest_mac'" and awake["interface"] == "br0"
  and {"time", "host", "evidence_source", "magic_time"} <= awake.keys()'

# The sleep hook's records, printed in the console section NAME (the guest
# has no journal), as expect_records reads them.
expect_readiness() {
  section "$1" >"$work/$1.out"
  expect_records "$1" 0 "$2" "card is not None and $3"
}
# The guest's suspend: once its step NAME has begun and QMP says suspended.
goes_to_sleep() {
  wait_for_line "^@@begin $1\$" $step_seconds
  asleep=$EPOCHREALTIME
  wait_for "status 'suspended' from QMP" $step_seconds suspended
  frames=$(guest_frames)
  echo "SUSPEND: $(elapsed "$asleep") s from the guest's 'echo mem' ($1) to QMP's 'suspended'"
}
stayed_asleep() {
  expect "while suspended ($(elapsed "$asleep") s, $1), QEMU stayed suspended and not one frame came from the guest" \
    'suspended && [ "$(guest_frames)" = "$frames" ]'
}

command -v wakeonlan >/dev/null || fail "no wakeonlan (scripts/setup installs it)"
prepare_guest
bridge
sniff_discover
run_guest "$ns" lumora.mode=sleep tap,id=n0,ifname=tap0,script=no,downscript=no -qmp "unix:$work/qmp,server=on,wait=off"
goes_to_sleep suspend-disarmed
echo "MEM_SLEEP: $(section mem-sleep)"
expect_readiness hook-disarmed "the sleep hook recorded the card disarmed: wake_on d, would not wake" \
  'card["event"] == "suspend" and card["host"] == "guest" and card["interface"] == "eth0"
   and card["wake_on"] == "d" and card["would_wake"] is False'

# Disarmed and left asleep: a magic packet that wakes nothing.
watch_and_send asleep --until-awake --awake-window $asleep_window --timeout 60
finish $((asleep_window + 60)) asleep
expect_records asleep "$code" "left asleep: lumora says no_sign after its $asleep_window s window, exit 4" \
  "$magic_ok and $outcome_ok and awake['outcome'] == 'no_sign' and awake['evidence'] is None and code == 4"
stayed_asleep "disarmed, a magic packet"
qmp system_wakeup >/dev/null || fail "QMP system_wakeup"

goes_to_sleep suspend
expect "resumed by hand, the guest's first 'echo mem' returned (exit 0) and it armed its e100 (ethtool -s eth0 wol g)" \
  '[ "$(exit_code suspend-disarmed)" = 0 ] && [ "$(exit_code arm)" = 0 ]'
expect_readiness hook-armed "the sleep hook recorded the card armed: wake_on g, would wake" \
  'card["wake_on"] == "g" and card["would_wake"] is True'

# Armed: the second magic packet, then the wake signal the card would give.
watch_and_send woken --until-awake --timeout 120 --awake-window 60
stayed_asleep "armed, a magic packet"
qmp system_wakeup >/dev/null || fail "QMP system_wakeup"
woke=$EPOCHREALTIME
wait_for "DHCP DISCOVER from the resumed guest on the bridge" $step_seconds has "$work/discover" '^[0-9]'
discovered=$(tail -n 1 "$work/discover")
echo "DHCP: $(elapsed "$woke" "$discovered") s from system_wakeup to the guest's DISCOVER on the bridge"
wait_for_line '^@@done$' $step_seconds
# The tap counts the guest's frames: the check while suspended could see one.
expect "resumed: the guest's 'echo mem' returned (exit 0), and the tap counted its DISCOVERs" \
  '[ "$(exit_code suspend)" = 0 ] && [ "$(guest_frames)" -gt "$frames" ]'

# No answer before the wake signal, none later than the DISCOVER seen; 0.1 s
# for the rounding.
least=$(elapsed "$reported" "$woke") most=$(elapsed "$sent" "$discovered")
finish 60 woken
expect_records woken "$code" "woken: lumora says woke, by dhcp, $least to $most s after the magic packet, exit 0" \
  "$magic_ok and $outcome_ok and awake['outcome'] == 'woke' and awake['evidence'] == 'dhcp'
   and $least - 0.1 <= awake['seconds'] <= $most + 0.1 and awake['seconds'] > 0 and code == 0"

# The hook's records and lumora's, merged as from the two machines' journals.
# The attempts lie asleep_window and more apart, the merge allows 5 s of
# clock skew besides the gap, and the guest's clock, set from the RTC at
# boot and at resume, may lag a second or two: hence --gap 1 and the window.
"$lumora" --merge --gap 1 --format json "$work"/{hook-disarmed,hook-armed,asleep,woken}.out >"$work/merged.out" \
  2>"$work/merged.err" || fail "lumora --merge: $(cat "$work/merged.err")"
/usr/bin/python3 - "$work/merged.out" "$guest_mac" <<'EOF' || fail "the merge of the hook's records and lumora's"
import json, re, sys
attempts = [json.loads(line) for line in open(sys.argv[1])]
assert [(a["target_mac"], a["verdict"]) for a in attempts] == [(sys.argv[2], "no_wake"), (sys.argv[2], "woke")], attempts
failed, woken = attempts
assert failed["target_readiness"]["wake_on"] == "d" and woken["target_readiness"]["wake_on"] == "g", attempts
assert re.match(r"guest went to sleep \(suspend\) at .+ with eth0 Wake-on d: its card was not armed; ", failed["why"]), failed
EOF
echo "PASS: merged, the attempt while disarmed did not wake, its card not armed as the guest went to sleep; the armed one woke"
echo "TIME: $(elapsed "$started") s for the whole test"
