#!/bin/sh
# /init of the guest of qemu_wake_test.sh: loads e100, asks ethtool and lumora
# about the card's Wake-on-LAN before and after arming it, and has lumora
# capture the frames the host sends. Each step's output goes to the console
# between "@@begin NAME" and "@@end NAME EXIT_CODE"; "@@ready NAME" asks for a frame.
# With lumora.mode=sleep on the kernel's command line it is qemu_sleep_test.sh's
# guest instead, silent: it suspends to RAM twice, each time after the
# package's sleep hook has recorded its card as systemd-sleep would run it,
# first disarmed (as a power tool leaves it), then armed; resumed the second
# time, it asks for an address as a network manager does after a wake.
export PATH=/bin:/sbin:/usr/bin
guest_address=10.99.0.2/24
wakeup=/sys/class/net/eth0/device/power/wakeup
sleep_hook=/usr/lib/systemd/system-sleep/lumora
listen_polls=600  # of 0.1 s: software emulation starts lumora slowly

mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
# Emergencies only: a kernel line on the console could split a marker line.
echo 1 >/proc/sys/kernel/printk
while read -r module; do insmod "/modules/$module.ko"; done </modules/order
ip link set lo up
echo  # ends the line the firmware's escape codes left open

step() {
  name=$1
  shift
  echo "@@begin $name"
  "$@" 2>&1
  echo "@@end $name $?"
}

if grep -q 'lumora\.mode=sleep' /proc/cmdline; then
  # No IPv6 on eth0, so no frame of the kernel's own: it sends what udhcpc asks.
  echo 1 >/proc/sys/net/ipv6/conf/eth0/disable_ipv6
  ip link set eth0 up
  hostname guest  # the records' host
  step mem-sleep sh -c 'echo deep >/sys/power/mem_sleep && cat /sys/power/mem_sleep'  # S3, not suspend-to-idle
  step disarm ethtool -s eth0 wol d
  step hook-disarmed $sleep_hook pre suspend
  step suspend-disarmed sh -c 'echo mem >/sys/power/state'  # returns on resume
  step arm ethtool -s eth0 wol g
  step hook-armed $sleep_hook pre suspend
  step suspend sh -c 'echo mem >/sys/power/state'
  step dhcp udhcpc -i eth0 -n -q -t 5 -T 1 -s /bin/true
  echo "@@done"
  poweroff -f
fi
ip addr add $guest_address dev eth0
ip link set eth0 up

# lumora's record of the frame the host sends after "@@ready NAME".
capture() {
  files=/tmp/$1
  : >"$files.err"  # now: the child's redirection may come after the first poll
  lumora -i eth0 --format json -c 1 --timeout 60 >"$files.out" 2>>"$files.err" &
  pid=$! polls=0
  until grep -q "listening on" "$files.err" || ! kill -0 $pid 2>/dev/null || [ $polls -ge $listen_polls ]; do
    sleep 0.1
    polls=$((polls + 1))
  done
  echo "@@ready $1"
  step "$1" finish $pid "$files"
}
finish() { wait "$1"; code=$?; cat "$2.out" "$2.err"; return $code; }

step ethtool-before ethtool eth0
step wakeup-before cat $wakeup
step check-before lumora --check -i eth0 --format json
step check-line lumora --check -i eth0 --format line
step arm ethtool -s eth0 wol g
step ethtool-armed ethtool eth0
step wakeup-armed cat $wakeup
step check-armed lumora --check -i eth0 --format json
capture capture-armed
step disarm ethtool -s eth0 wol d
capture capture-disarmed
echo "@@done"
poweroff -f
