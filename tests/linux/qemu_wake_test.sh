#!/usr/bin/env bash
# lumora against a real Wake-on-LAN driver, as root: Linux's e100 on QEMU's
# emulated Intel 82559ER, software emulation only. QEMU runs in a network
# namespace of this script's own, whose loopback carries the guest's Ethernet
# frames as UDP datagrams. The guest (qemu_guest_init.sh) prints each step
# between marker lines on the serial console; the host sends frames when asked.
#   qemu_wake_test.sh LUMORA_BINARY
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then echo "SKIP: the network namespace needs root"; exit 77; fi
lumora=$1 started=$EPOCHREALTIME
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$(dirname "$lumora")/qemu
guest_mac=52:54:00:4C:55:10 host_mac=02:4c:55:00:00:01 host_ip=10.99.0.1
qemu_port=10001 far_port=10002  # QEMU's end of the carriage and the other
boot_seconds=120 step_seconds=120 tail_lines=40
ns=lumora-qemu-$$
work=$(mktemp -d)
source "$here/qemu_common.sh"

cleanup() {
  if [ -n "$qemu_pid" ]; then kill "$qemu_pid" 2>/dev/null || true; wait "$qemu_pid" 2>/dev/null || true; fi
  ip netns del "$ns" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap "exit 1" INT TERM HUP  # so that cleanup runs then too

# The letters ethtool prints after "Supports Wake-on:" or "Wake-on:".
wol_letters() { section "$1" | sed -n "s/^[[:space:]]*$2: //p"; }

boot() {
  ip netns add "$ns"
  ip -n "$ns" link set lo up
  run_guest "$ns" "" socket,id=n0,udp=127.0.0.1:$far_port,localaddr=127.0.0.1:$qemu_port
}

# A broadcast UDP/IPv4 datagram to port 9 holding a magic packet for the
# guest (6 x FF, then 16 copies of its MAC), as one Ethernet frame.
send_magic_packet() {
  ip netns exec "$ns" /usr/bin/python3 - "$guest_mac" "$host_mac" "$host_ip" "$qemu_port" <<'EOF' || fail "could not send"
import socket, struct, sys
target, source, source_ip, port = sys.argv[1:]
payload = b"\xff" * 6 + bytes.fromhex(target.replace(":", "")) * 16
udp = struct.pack("!HHHH", 50000, 9, 8 + len(payload), 0) + payload  # UDP checksum 0: none
ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), 0, 0x4000, 64, 17, 0,
                 socket.inet_aton(source_ip), b"\xff" * 4)
# The header checksum, ones' complement: the guest's IP layer drops a bad one.
ip = ip[:10] + struct.pack("!H", 0xFFFF - sum(struct.unpack("!10H", ip)) % 0xFFFF) + ip[12:]
frame = b"\xff" * 6 + bytes.fromhex(source.replace(":", "")) + b"\x08\x00" + ip + udp
socket.socket(socket.AF_INET, socket.SOCK_DGRAM).sendto(frame, ("127.0.0.1", int(port)))
EOF
}

# Passes when the Python expression holds of r, the first JSON line of the
# section; codes holds r's hint codes, code the section's exit code.
expect_json() {
  local name=$1 what=$2 expression=$3
  section "$name" >"$work/section"
  /usr/bin/python3 - "$work/section" "$expression" "$(exit_code "$name")" <<'EOF' || fail "$what: $(section "$name")"
import json, sys
r = json.loads(next(line for line in open(sys.argv[1]) if line.startswith("{")))
codes, code = [hint["code"] for hint in r.get("hints", [])], int(sys.argv[3])
sys.exit(0 if eval("(" + sys.argv[2] + ")") else 1)  # parentheses: it may span lines
EOF
  echo "PASS: $what"
}

prepare_guest
boot
for step in capture-armed capture-disarmed; do
  wait_for_line "^@@ready $step\$" $step_seconds
  send_magic_packet
done
wait_for_line '^@@done$' $step_seconds
for step in ethtool-before wakeup-before ethtool-armed wakeup-armed; do echo "E100 $step: $(section $step | grep -e Wake-on -e able | tr -s '\t\n' '  ')"; done
for step in check-line check-before check-armed capture-armed capture-disarmed; do echo "LUMORA $step: $(section $step)"; done

supported=$(wol_letters ethtool-before "Supports Wake-on")
expect "e100 supports magic-packet wake (ethtool: '$supported') and starts disarmed" \
  '[ "$(wol_letters ethtool-before Wake-on)" = d ] && [[ $supported == *g* ]]'
expect "wol g arms it: ethtool says Wake-on: g, power/wakeup goes from disabled to enabled" \
  '[ "$(exit_code arm)" = 0 ] && [ "$(wol_letters ethtool-armed Wake-on)" = g ] &&
   [ "$(section wakeup-before)" = disabled ] && [ "$(section wakeup-armed)" = enabled ]'

card='r["interface"] == "eth0" and r["mac"] == "'$guest_mac'" and r["supported"] == "'$supported'" and r["secureon"] is None'
expect_json check-before "before arming, lumora --check reads what ethtool and sysfs say: would not wake, hint wol-disabled, exit 1" \
  "$card"' and r["wake_on_lan"] == "disabled" and r["enabled"] == "d" and r["device_wakeup"] == "disabled"
   and r["wakes_on_magic_packet"] is False and "wol-disabled" in codes and code == 1'
expect "before arming, lumora --check --format line says the same, exit 1" '[ "$(exit_code check-line)" = 1 ] &&
  section check-line | grep -q "^eth0 $guest_mac: Wake-on-LAN disabled (supports $supported, enabled d), device wakeup disabled: would not wake .*wol-disabled"'
expect_json check-armed "after wol g, lumora --check: enabled g, device wakeup enabled, would wake, no hint, exit 0" \
  "$card"' and r["wake_on_lan"] == "enabled" and r["enabled"] == "g" and r["device_wakeup"] == "enabled"
   and r["wakes_on_magic_packet"] is True and codes == [] and code == 0'

record='r["interface"] == "eth0" and r["kind"] == "udp4" and r["destination"] == "255.255.255.255" and r["target_mac"] == "'$guest_mac'"
  and r["well_formed"] and r["target_interface"] == "eth0" and code == 0'  # 0: it came within --timeout
expect_json capture-armed "armed: lumora's record of the magic packet sent into the guest says it would wake eth0" \
  "$record"' and r["would_wake"] is True'
expect_json capture-disarmed "after wol d: the record says it would not wake, hint wol-disabled" \
  "$record"' and r["would_wake"] is False and "wol-disabled" in codes'
echo "TIME: $(elapsed "$started") s for the whole test"
