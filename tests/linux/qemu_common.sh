# The QEMU guest of the end-to-end tests: its preparation, its boot and its
# serial console, where qemu_guest_init.sh prints each step between marker
# lines. Sourced by the QEMU tests, which set here (and guest_arch=arm64 for
# an arm64 guest) and are given lumora's path.
if [ "$(id -u)" -ne 0 ]; then echo "SKIP: the network namespaces need root"; exit 77; fi
source "$here/netns.sh"
lumora=$1 started=$EPOCHREALTIME build=$(dirname "$1")/qemu work=$(mktemp -d)
guest_mac=52:54:00:4C:55:10 boot_seconds=120 step_seconds=120 tail_lines=40
qemu_pid="" pids=()
poll_seconds=0.2  # each look may ask QEMU: fewer, so that the emulated guest keeps its pace
trap "exit 1" INT TERM HUP  # so that the test's cleanup runs then too

console() { tr -d '\r' <"$work/console" 2>/dev/null; }
fail() {
  echo "FAIL: $*"
  [ -s "$work/console" ] || exit 1
  echo "The console's last $tail_lines lines:"
  console | tail -n $tail_lines | sed 's/^/  /'
  exit 1
}

# grep reads it all: an early exit (-q) would end tr with SIGPIPE, a failure.
seen() { console | grep -- "$1" >/dev/null; }
wait_for_line() { wait_for "'$1' on the console" "$2" seen "$1"; }

# What the guest printed between "@@begin NAME" and "@@end NAME CODE"; CODE.
section() { console | awk -v n="$1" '$0 ~ "^@@end " n " " { on = 0 } on { print } $0 == "@@begin " n { on = 1 }'; }
exit_code() { console | sed -n "s/^@@end $1 //p"; }

# Passes when the shell condition holds.
expect() { eval "$2" || fail "$1"; echo "PASS: $1"; }
elapsed() { awk -v from="$1" -v to="${2:-$EPOCHREALTIME}" 'BEGIN { printf "%.1f", to - from }'; }

prepare_guest() {
  "$here/../../scripts/qemu-guest" --arch "${guest_arch:-amd64}" "$build" "$lumora" ||
    fail "scripts/qemu-guest could not prepare the kernel or the initramfs"
  source "$build/guest"
  echo "KERNEL: $(cat "$build/kernel-package")"
}

# Starts the guest in NAMESPACE, APPEND added to the kernel's command line,
# the card's frames carried by -netdev NETDEV (id=n0), then any further QEMU
# arguments; returns once /init has begun its first step.
run_guest() {
  local space=$1 append=$2 netdev=$3 booted=$EPOCHREALTIME
  shift 3
  : >"$work/console"  # read before QEMU writes it
  ip netns exec "$space" $guest_qemu -nographic -no-reboot \
    -kernel "$build/vmlinuz" -initrd "$build/initrd.gz" -append "console=$guest_console quiet panic=-1 $append" \
    -device $guest_card,netdev=n0,mac=$guest_mac -netdev "$netdev" "$@" </dev/null >"$work/console" 2>&1 &
  qemu_pid=$! watched=$!  # the waits fail once QEMU has ended
  wait_for_line '^@@begin ' $boot_seconds
  echo "BOOT: $(elapsed "$booted") s from starting QEMU to the guest's first step"
}

# A broadcast UDP/IPv4 datagram to port 9 holding a magic packet for the
# guest (6 x FF, then 16 copies of its MAC), as one Ethernet frame from
# host_mac, handed to `wake_sender.py HOW... FRAME` in namespace $ns.
send_magic_packet() {
  local sender=$here/wake_sender.py datagram
  datagram=$("$sender" ipv4 $host_ip 255.255.255.255 "ffffffffffff$(printf "${guest_mac//:/}%.0s" {1..16})")
  ip netns exec "$ns" "$sender" "$@" "ffffffffffff${host_mac//:/}0800$datagram" || fail "could not send"
}

# The guest's two captures (qemu_guest_init.sh), each sent a magic packet
# through `wake_sender.py HOW...` once it is ready, then its end.
serve_captures() {
  local step
  for step in capture-armed capture-disarmed; do
    wait_for_line "^@@ready $step\$" $step_seconds
    send_magic_packet "$@"
  done
  wait_for_line '^@@done$' $step_seconds
}

# The json line of a step, valid against its schema, as the values of its
# kind's keys, then the step's exit code.
declare -A keys=([check]="interface mac wake_on_lan supported enabled secureon device_wakeup wakes_on_magic_packet hints"
  [record]="interface kind destination target_mac well_formed target_interface would_wake hints")
json_step() {
  section "$1" | grep '^{' >"$work/step.jsonl"
  echo "$(/usr/bin/python3 "$here/check_json_lines.py" "$2" "$work/step.jsonl" ${keys[$2]}) $(exit_code "$1")"
}

# Each row of stdin, "STEP KIND EXPECTED...", passes when json_step says EXPECTED.
expect_json_steps() {
  local step kind expected got
  while read -r step kind expected; do
    got=$(json_step "$step" "$kind")
    [ "$got" = "$expected" ] || fail "$step: lumora says '$got', not '$expected'"
    echo "PASS: $step: $got"
  done
}

# QEMU and the test's other processes (pids), its namespaces, its files.
cleanup() {
  local pid
  for pid in $qemu_pid "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  remove_namespaces
  rm -rf "$work"
}
trap cleanup EXIT
