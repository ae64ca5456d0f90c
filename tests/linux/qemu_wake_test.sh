#!/usr/bin/env bash
# lumora against a real Wake-on-LAN driver, as root: Linux's e100 on QEMU's
# emulated Intel 82559ER, software emulation only. QEMU runs in a network
# namespace of this script's own, whose loopback carries the guest's Ethernet
# frames as UDP datagrams. The guest (qemu_guest_init.sh) prints each step
# between marker lines on the serial console; the host sends frames when asked.
#   qemu_wake_test.sh LUMORA_BINARY
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/qemu_common.sh"
host_mac=02:4c:55:00:00:01 host_ip=10.99.0.1
qemu_port=10001 far_port=10002  # QEMU's end of the carriage and the other
ns=lumora-qemu-$$

cleanup() {
  if [ -n "$qemu_pid" ]; then kill "$qemu_pid" 2>/dev/null || true; wait "$qemu_pid" 2>/dev/null || true; fi
  remove_namespaces
  rm -rf "$work"
}
trap cleanup EXIT

# The letters ethtool prints after "Supports Wake-on:" or "Wake-on:".
wol_letters() { section "$1" | sed -n "s/^[[:space:]]*$2: //p"; }

boot() {
  new_namespace "$ns"
  ip -n "$ns" link set lo up
  run_guest "$ns" "" socket,id=n0,udp=127.0.0.1:$far_port,localaddr=127.0.0.1:$qemu_port
}

# A broadcast UDP/IPv4 datagram to port 9 holding a magic packet for the
# guest (6 x FF, then 16 copies of its MAC), as one Ethernet frame carried
# to QEMU's end in a datagram.
send_magic_packet() {
  local sender=$here/wake_sender.py datagram
  datagram=$("$sender" ipv4 $host_ip 255.255.255.255 "ffffffffffff$(printf "${guest_mac//:/}%.0s" {1..16})")
  ip netns exec "$ns" "$sender" udp 127.0.0.1 $qemu_port "ffffffffffff${host_mac//:/}0800$datagram" || fail "could not send"
}

# The json line of a step, valid against its schema, as the values of its
# kind's keys, then the step's exit code.
declare -A keys=([check]="interface mac wake_on_lan supported enabled secureon device_wakeup wakes_on_magic_packet hints"
  [record]="interface kind destination target_mac well_formed target_interface would_wake hints")
json_step() {
  section "$1" | grep '^{' >"$work/step.jsonl"
  echo "$(/usr/bin/python3 "$here/check_json_lines.py" "$2" "$work/step.jsonl" ${keys[$2]}) $(exit_code "$1")"
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

expect "before arming, lumora --check --format line says what ethtool and sysfs say, exit 1" '[ "$(exit_code check-line)" = 1 ] &&
  section check-line | grep -q "^eth0 $guest_mac: Wake-on-LAN disabled (supports $supported, enabled d), device wakeup disabled: would not wake .*wol-disabled"'
# --check in json before and after wol g; the record of the magic packet sent
# into the guest, armed and after wol d, each within --timeout (exit 0).
while read -r step kind expected; do
  got=$(json_step "$step" "$kind")
  [ "$got" = "$expected" ] || fail "$step: lumora says '$got', not '$expected'"
  echo "PASS: $step: $got"
done <<EOF
check-before check eth0 $guest_mac disabled $supported d - disabled false wol-disabled,device-wakeup-disabled 1
check-armed check eth0 $guest_mac enabled $supported g - enabled true - 0
capture-armed record eth0 udp4 255.255.255.255 $guest_mac true eth0 true locally-administered 0
capture-disarmed record eth0 udp4 255.255.255.255 $guest_mac true eth0 false wol-disabled,device-wakeup-disabled,locally-administered 0
EOF
echo "TIME: $(elapsed "$started") s for the whole test"
