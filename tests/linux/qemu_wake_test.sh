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

# The letters ethtool prints after "Supports Wake-on:" or "Wake-on:".
wol_letters() { section "$1" | sed -n "s/^[[:space:]]*$2: //p"; }

boot() {
  new_namespace "$ns"
  ip -n "$ns" link set lo up
  run_guest "$ns" "" socket,id=n0,udp=127.0.0.1:$far_port,localaddr=127.0.0.1:$qemu_port
}

prepare_guest
boot
serve_captures udp 127.0.0.1 $qemu_port
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
expect_json_steps <<EOF
check-before check eth0 $guest_mac disabled $supported d - disabled false wol-disabled,device-wakeup-disabled 1
check-armed check eth0 $guest_mac enabled $supported g - enabled true - 0
capture-armed record eth0 udp4 255.255.255.255 $guest_mac true eth0 true locally-administered 0
capture-disarmed record eth0 udp4 255.255.255.255 $guest_mac true eth0 false wol-disabled,device-wakeup-disabled,locally-administered 0
EOF
echo "TIME: $(elapsed "$started") s for the whole test"
