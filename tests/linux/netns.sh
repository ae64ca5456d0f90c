# The network namespaces, veth links and bridge ports of the end-to-end
# tests, made by the test itself and removed on every exit, and the one wait
# for a condition. Sourced by capture_test.sh, journal_test.sh and the QEMU
# tests; each defines fail MESSAGE.
namespaces=()

new_namespace() { ip netns add "$1" && namespaces+=("$1"); }

remove_namespaces() {
  local space
  for space in "${namespaces[@]}"; do ip netns del "$space" 2>/dev/null || true; done
}

# Polls a condition every poll_seconds until it holds; fails after
# `seconds`, or at once when the process $watched, if set, ended without it.
poll_seconds=0.05 watched=""
wait_for() {
  local what=$1 seconds=$2
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    { [ -z "$watched" ] || kill -0 "$watched" 2>/dev/null || "$@"; } || fail "process $watched ended before $what"
    [ "$SECONDS" -lt "$deadline" ] || fail "timed out after ${seconds} s waiting for $what"
    sleep $poll_seconds
  done
}

# The EXIT trap of a test that runs one lumora (or container) at a time in
# $pid: stopped with SIGTERM, which timeout passes on (SIGKILL would leave
# lumora behind), its namespaces removed and its folder $work deleted.
end_test() {
  if [ -n "$pid" ]; then kill -TERM "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  remove_namespaces
  rm -rf "$work"
}

ends_up() { ip -n "$1" link show "$2" | grep -q LOWER_UP && ip -n "$3" link show "$4" | grep -q LOWER_UP; }

# veth NS_A IF_A ADDRESS_A NS_B IF_B ADDRESS_B [MAC_A MAC_B]: a veth pair
# between two namespaces, each end with its IPv4 address/prefix and
# broadcast, no IPv6 address of the kernel's making, up.
veth() {
  local a=$1 if_a=$2 ip_a=$3 b=$4 if_b=$5 ip_b=$6
  ip link add "$if_a" netns "$a" ${7:+address "$7"} type veth peer name "$if_b" netns "$b" ${8:+address "$8"}
  ip -n "$a" addr add "$ip_a" brd + dev "$if_a"
  ip -n "$b" addr add "$ip_b" brd + dev "$if_b"
  ip -n "$a" link set "$if_a" addrgenmode none up
  ip -n "$b" link set "$if_b" addrgenmode none up
  wait_for "the veth link $if_a-$if_b" 20 ends_up "$a" "$if_a" "$b" "$if_b"
}

# port NS IFACE ADDRESS LAN PORT: IFACE of NS, with its IPv4 address/prefix
# and broadcast, up, on port PORT of the bridge br0 in namespace LAN.
port() {
  ip link add "$2" netns "$1" type veth peer name "$5" netns "$4"
  ip -n "$4" link set "$5" master br0 up
  ip -n "$1" addr add "$3" brd + dev "$2"
  ip -n "$1" link set "$2" up
  wait_for "the port of $1" 20 ends_up "$1" "$2" "$4" "$5"
}
