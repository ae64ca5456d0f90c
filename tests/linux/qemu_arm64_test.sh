#!/usr/bin/env bash
# The cross-built arm64 lumora live, as root: a qemu-system-aarch64 guest
# (virt board, software emulation) with Debian's arm64 kernel and a virtio-net
# card, which has no Wake-on-LAN, on a tap in a network namespace of this
# script's own. The guest runs qemu_guest_init.sh as the e100 guest does; the
# host sends its magic packets out of the tap.
#   qemu_arm64_test.sh LUMORA_BINARY
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
guest_arch=arm64
source "$here/qemu_common.sh"
host_mac=02:4c:55:00:00:01 host_ip=10.99.0.1 ns=lumora-arm64-$$

prepare_guest
new_namespace "$ns"
ip -n "$ns" tuntap add dev tap0 mode tap
ip -n "$ns" link set tap0 addrgenmode none up
run_guest "$ns" "" tap,id=n0,ifname=tap0,script=no,downscript=no
serve_captures frame tap0
echo "VIRTIO wol g: $(section arm), exit $(exit_code arm)"
for step in check-line check-armed capture-armed; do echo "LUMORA $step: $(section $step)"; done

expect "virtio-net cannot be armed: ethtool -s eth0 wol g is refused" \
  '[ "$(exit_code arm)" != 0 ] && section arm | grep -q "Operation not supported"'
expect "lumora --check --format line says the card is a virtual machine's, without Wake-on-LAN, exit 1" '[ "$(exit_code check-line)" = 1 ] &&
  section check-line | grep -q "^eth0 $guest_mac: Wake-on-LAN unsupported, device wakeup not present: would not wake .*vm-card: eth0 is a virtual machine.s card (virtio_net)"'
# --check in json after the refused wol g; the record of the magic packet
# sent into the guest: seen, well formed, would not wake.
expect_json_steps <<EOF
check-armed check eth0 $guest_mac unsupported - - - - false vm-card 1
capture-armed record eth0 udp4 255.255.255.255 $guest_mac true eth0 false vm-card,locally-administered 0
EOF
echo "TIME: $(elapsed "$started") s for the whole test"
