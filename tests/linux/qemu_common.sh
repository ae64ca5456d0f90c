# The QEMU guest of the end-to-end tests: its preparation, its boot and its
# serial console, where qemu_guest_init.sh prints each step between marker
# lines. Sourced by qemu_wake_test.sh and qemu_sleep_test.sh, which set here
# and are given lumora's path.
if [ "$(id -u)" -ne 0 ]; then echo "SKIP: the network namespaces need root"; exit 77; fi
source "$here/netns.sh"
lumora=$1 started=$EPOCHREALTIME build=$(dirname "$1")/qemu work=$(mktemp -d)
guest_mac=52:54:00:4C:55:10 boot_seconds=120 step_seconds=120 tail_lines=40
qemu_pid=""
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
  command -v qemu-system-x86_64 >/dev/null || fail "no qemu-system-x86_64 (Debian's qemu-system-x86; scripts/setup installs it)"
  "$here/../../scripts/qemu-guest" "$build" "$lumora" || fail "scripts/qemu-guest could not prepare the kernel or the initramfs"
  echo "KERNEL: $(cat "$build/kernel-package")"
}

# Starts the guest in NAMESPACE, APPEND added to the kernel's command line,
# the card's frames carried by -netdev NETDEV (id=n0), then any further QEMU
# arguments; returns once /init has begun its first step.
run_guest() {
  local space=$1 append=$2 netdev=$3 booted=$EPOCHREALTIME
  shift 3
  : >"$work/console"  # read before QEMU writes it
  ip netns exec "$space" qemu-system-x86_64 -machine pc -cpu max -m 256 -nographic -no-reboot \
    -kernel "$build/vmlinuz" -initrd "$build/initrd.gz" -append "console=ttyS0 quiet panic=-1 $append" \
    -device i82559er,netdev=n0,mac=$guest_mac -netdev "$netdev" "$@" </dev/null >"$work/console" 2>&1 &
  qemu_pid=$! watched=$!  # the waits fail once QEMU has ended
  wait_for_line '^@@begin ' $boot_seconds
  echo "BOOT: $(elapsed "$booted") s from starting QEMU to the guest's first step"
}
