#!/usr/bin/env bash
# lumora's records through the journal, as root, end to end: each machine a
# network namespace of this script's own plus a mount and UTS namespace (a
# private /run, cgroup2, its host name) running its own systemd-journald, with
# lumora under systemd-cat as the unit runs it, and the target running the
# package's sleep hook as systemd-sleep would. A router between the sender
# and segment B forwards the wakes sent to a target's own address.
# systemd-journal-upload ships each journal over HTTP to the collector's
# systemd-journal-remote, and `lumora --merge` answers for each wake attempt
# from the collected journal, and says why.
#   journal_test.sh LUMORA_BINARY
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then echo "SKIP: the namespaces need root"; exit 77; fi
remote=/lib/systemd/systemd-journal-remote upload=/lib/systemd/systemd-journal-upload
if [ ! -x $remote ]; then echo "SKIP: needs systemd-journal-remote (the package)"; exit 77; fi
lumora=$(realpath "$1") started=$SECONDS
hook=$(dirname "$lumora")/system-sleep/lumora
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/netns.sh"
# Private ranges of this test alone: segment A (the sender and the
# collector), segment B (the sender, the monitor and the target), and the
# monitor's own link to the collector.
# The target that wakes; its second card, silent, which went to sleep not
# armed; one MAC no machine answers for; the napper, a host of segment B
# that went to sleep after it spoke; and a MAC for a wake by a live target's
# own address. Each attempt a MAC of its own, so that they stay apart within
# the merge's default gap.
target_mac=00:1a:2b:3c:4d:5e lost_mac=00:1a:2b:3c:4d:5f silent_mac=00:1a:2b:3c:4d:60
nap_mac=00:1a:2b:3c:4d:61 live_mac=00:1a:2b:3c:4d:62
subnet_broadcast=10.75.0.255 nap_ip=10.75.0.50 target_ip=10.75.0.30 router_ip=10.75.0.254
lan=jl-lan-$$ collector=jl-collector-$$ napper=jl-napper-$$ router=jl-router-$$
declare -A ns=([sender]=jl-sender-$$ [monitor]=jl-monitor-$$ [target]=jl-target-$$) anchor=() lumora_pid=()
declare -A collector_at=([sender]=10.74.0.2 [monitor]=10.73.0.2 [target]=10.71.0.2)
work=$(mktemp -d)
remote_pid=""

cleanup() {
  local pid
  for pid in "${lumora_pid[@]}" $remote_pid "${anchor[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${lumora_pid[@]}" $remote_pid "${anchor[@]}"; do wait "$pid" 2>/dev/null || true; done
  remove_namespaces
  rm -rf "$work"
}
trap cleanup EXIT
trap "exit 1" INT TERM HUP

fail() {
  echo "FAIL: $*"
  local log
  for log in "$work"/*.log; do [ -s "$log" ] && sed "s|^|  $(basename "$log"): |" "$log" | tail -n 20; done
  exit 1
}

# No IPv6 anywhere: the target sends nothing but the frames the test makes
# it send, so a silent target gives no sign of waking.
make_network() {
  local space
  for space in "$lan" "$collector" "$napper" "$router" "${ns[@]}"; do
    new_namespace "$space"
    ip netns exec "$space" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
  done
  ip -n "$lan" link add br0 type bridge
  ip -n "$lan" link set br0 up
  veth "${ns[sender]}" eth0 10.74.0.1/24 "$collector" eth0 ${collector_at[sender]}/24
  port "${ns[sender]}" eth1 10.75.0.1/24 "$lan" sender
  ip -n "${ns[sender]}" route add default via ${collector_at[sender]}
  port "${ns[monitor]}" eth0 10.75.0.2/24 "$lan" monitor
  veth "${ns[monitor]}" eth1 10.73.0.1/24 "$collector" eth1 ${collector_at[monitor]}/24
  port "${ns[target]}" eth0 $target_ip/24 "$lan" target
  ip -n "${ns[target]}" link set eth0 address $target_mac
  veth "${ns[target]}" eth1 10.71.0.1/24 "$collector" eth2 ${collector_at[target]}/24 $silent_mac
  port "$napper" eth0 $nap_ip/24 "$lan" napper
  ip -n "$napper" link set eth0 address $nap_mac
  # The router: kernel forwarding from its link to the sender onto segment B.
  veth "${ns[sender]}" eth2 10.72.0.1/24 "$router" eth0 10.72.0.2/24
  port "$router" eth1 $router_ip/24 "$lan" router
  ip netns exec "$router" sysctl -qw net.ipv4.ip_forward=1
  ip -n "${ns[sender]}" route add $nap_ip/32 via 10.72.0.2
  ip -n "${ns[sender]}" route add $target_ip/32 via 10.72.0.2
}

# A machine of its own: its journal in $work/NAME (journald's volatile
# store, bound there), no kernel log (/dev/kmsg is /dev/null to it).
start_host() {
  mkdir -p "$work/$1"
  ip netns exec "${ns[$1]}" unshare -m -u sh -c 'mount -t tmpfs tmpfs /run && mkdir -p /run/log/journal &&
    mount --bind "$1" /run/log/journal && mount -t cgroup2 none /sys/fs/cgroup &&
    mount --bind "$2" /etc/systemd/journald.conf && mount --bind /dev/null /dev/kmsg &&
    hostname "$3" && exec /lib/systemd/systemd-journald' sh "$work/$1" "$work/journald.conf" "$1" >"$work/$1.log" 2>&1 &
  anchor[$1]=$!
  wait_for "the journald of $1" 20 test -S "/proc/${anchor[$1]}/root/run/systemd/journal/stdout"
}
# -r: its root too, which is not / when the test itself runs in a chroot.
on() { local host=$1; shift; nsenter -t "${anchor[$host]}" -m -u -n -r "$@"; }
journal() { journalctl -D "$work/$1" -t lumora -o cat; }
logged() { journal "$1" | grep -q "$2"; }
records() { journal "$1" | grep -c '^{"record"' || true; }

run_lumora() {
  local host=$1
  shift
  # nsenter itself, not a subshell running `on`: its PID becomes lumora's.
  nsenter -t "${anchor[$host]}" -m -u -n -r systemd-cat -t lumora "$lumora" "$@" --format json 2>>"$work/$host.log" &
  lumora_pid[$host]=$!
  wait_for "lumora on $host to listen" 20 logged "$host" "listening on"
}

magic_seen() { [ "$(journal "$1" | grep -c '^{"record":"magic"')" -ge "$2" ]; }
# wake MAC DESTINATION HOST COUNT: wakeonlan on the sender, until HOST's
# lumora has recorded COUNT magic packets.
wake() {
  on sender wakeonlan -i "$2" "$1" >/dev/null || fail "wakeonlan -i $2 $1"
  wait_for "$3 to record the packet to $2" 20 magic_seen "$3" "$4"
}

# Says where it lives (its kernel asks for the monitor's MAC, from its own
# address), as a host does while awake.
speaks() { ip netns exec "$1" "$here/wake_sender.py" udp 10.75.0.2 7 00 || fail "$1 could not send"; }
router_knows() { ip -n "$router" neigh show "$1" | grep -q "$2"; }

printf '[Journal]\nStorage=volatile\nForwardToSyslog=no\nForwardToWall=no\n' >"$work/journald.conf"
mkdir "$work/collected"
make_network
start_host sender
start_host monitor
start_host target
# The target goes to sleep as systemd-sleep puts it there: the hook records
# its cards (veths, which cannot wake it) into its journal. The hook names
# lumora where the package puts it; here, the one under test.
sed "s|^lumora=.*|lumora=$lumora|" "$hook" >"$work/hook"
chmod +x "$work/hook"
on target "$work/hook" pre suspend >>"$work/target.log" 2>&1 || fail "the sleep hook"
wait_for "the target's readiness records" 20 logged target '"record":"readiness"'

ip netns exec "$collector" $remote --listen-http=0.0.0.0:19532 --output="$work/collected/" >"$work/remote.log" 2>&1 &
remote_pid=$!
wait_for "systemd-journal-remote to listen" 20 sh -c "ip netns exec $collector ss -Hltn | grep -q ':19532 '"
run_lumora sender -Q out
run_lumora monitor -i eth0 --awake-window 3

speaks "$napper"
ip -n "$napper" addr flush dev eth0  # asleep: it answers for its address no more
wake $target_mac $subnet_broadcast monitor 1
ip netns exec "${ns[target]}" "$here/wake_sender.py" sign dhcp eth0 || fail "the target's DHCP request"
wait_for "the monitor to see the target wake" 20 logged monitor '"outcome":"woke"'
wake $lost_mac 255.255.255.255 sender 2
wake $silent_mac $subnet_broadcast monitor 2
wait_for "the monitor's no_sign" 20 logged monitor '"outcome":"no_sign"'
# Sent to the napper's own address: the router asks for it again and again.
on sender wakeonlan -i $nap_ip $nap_mac >/dev/null || fail "wakeonlan -i $nap_ip"
wait_for "the monitor's unanswered record" 30 logged monitor '"record":"unanswered"'
# Sent to the live target's own (its attempt decided, it may speak): the
# router asks once, the answer goes to the router alone, and the packet too.
speaks "${ns[target]}"
on sender wakeonlan -i $target_ip $live_mac >/dev/null || fail "wakeonlan -i $target_ip"
wait_for "the router to learn the target's MAC" 20 router_knows $target_ip $target_mac
wait_for "the sender to record all five wakes" 20 magic_seen sender 5

for host in sender monitor target; do
  if [ -n "${lumora_pid[$host]:-}" ]; then
    kill -TERM "${lumora_pid[$host]}"
    wait "${lumora_pid[$host]}" || fail "lumora on $host exited $?"
    unset "lumora_pid[$host]"
  fi
  on $host $upload --url=http://${collector_at[$host]}:19532 \
    -D /run/log/journal --save-state="$work/$host.state" --follow=no >>"$work/$host.log" 2>&1 || fail "the upload of $host"
done
all_collected() { [ "$(records collected)" -eq $(($(records sender) + $(records monitor) + $(records target))) ]; }
wait_for "the collector to hold every record" 30 all_collected

journal collected | grep '^{"record"' >"$work/records.jsonl"
/usr/bin/python3 "$here/check_json_lines.py" all "$work/records.jsonl" || fail "the collected records"
journalctl -D "$work/collected" -o json >"$work/collected.json"
# Standard input a pipe, as behind journalctl.
cat "$work/collected.json" | "$lumora" --merge --format json - >"$work/merged.json" 2>"$work/merge.log" || fail "lumora --merge json"
"$lumora" --merge "$work/collected.json" >"$work/merged.txt" 2>>"$work/merge.log" || fail "lumora --merge"
/usr/bin/python3 "$here/check_json_lines.py" attempt "$work/merged.json" || fail "the merge's attempts"
macs="$target_mac $lost_mac $silent_mac $nap_mac $live_mac"
/usr/bin/python3 - "$work/merged.json" "$macs" "$work/collected.json" <<'EOF' || fail "what the merge says"
import json, re, sys
# Each host's own name, in journald's _HOSTNAME and in lumora's records alike.
entries = [json.loads(line) for line in open(sys.argv[3], encoding="utf-8")]
named = [(e["_HOSTNAME"], json.loads(e["MESSAGE"])["host"]) for e in entries
         if e.get("SYSLOG_IDENTIFIER") == "lumora" and e["MESSAGE"].startswith("{")]
assert {a for a, _ in named} == {"sender", "monitor", "target"} and all(a == b for a, b in named), named
attempts = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
assert [a["verdict"] for a in attempts] == ["woke", "lost", "no_wake", "lost", "lost"], [a["verdict"] for a in attempts]
assert [a["target_mac"].lower() for a in attempts] == sys.argv[2].split(), attempts
woke, lost, no_wake, at_router, live = attempts
hosts = lambda a, key: [(s["host"], s["interface"]) for s in a[key]]
assert hosts(woke, "sent_by") == [("sender", "eth1")] and woke["sent_by"][0]["destination"] == "10.75.0.255", woke
assert hosts(woke, "seen_by") == [("monitor", "eth0")] and woke["outcome"] == "woke" and woke["evidence"] == "dhcp", woke
assert hosts(lost, "sent_by") == [("sender", "eth0")] and lost["seen_by"] == [] and lost["why"].startswith("left sender by eth0 for 255.255.255.255"), lost
assert hosts(no_wake, "seen_by") == [("monitor", "eth0")] and no_wake["outcome"] == "no_sign", no_wake
# Its card as it went to sleep, from the target's own journal.
readiness = no_wake["target_readiness"]
assert readiness["host"] == "target" and readiness["event"] == "suspend" and readiness["interface"] == "eth1", no_wake
assert readiness["would_wake"] is False and re.match(r"target went to sleep \(suspend\) at .+ with eth1 Wake-on unknown: its card was not armed; seen by monitor", no_wake["why"]), no_wake
# The router's questions for the sleeping napper, which the live target answered.
assert [(u["host"], u["target_ip"], u["asked_by_ip"]) for u in at_router["unanswered"]] == [
    ("monitor", "10.75.0.50", "10.75.0.254")] and at_router["unanswered"][0]["count"] >= 2, at_router
assert at_router["why"].startswith("lost at the router: its ARP requests for 10.75.0.50 went unanswered"), at_router
assert live["unanswered"] == [] and live["why"].startswith("left sender by eth2 for 10.75.0.30"), live
EOF
grep -qx "lumora: 5 wake attempts: 1 woke, 1 no_wake, 3 lost" "$work/merged.txt" || fail "the line form's count"
[ "$(journal monitor | grep -c '"record":"unanswered"')" -eq 1 ] || fail "the live target's answered question was recorded"
echo "PASS: through each host's journald, systemd-journal-upload and -remote: woke, lost and no_wake, by sender and monitor, the card not armed as it went to sleep, and the packet lost at the router ($((SECONDS - started)) s)"
