#!/usr/bin/env bash
# lumora end to end, as root: a veth pair between two network namespaces that
# this script creates and always removes. All traffic stays on that pair.
#   capture_test.sh GROUP LUMORA LUMORA_SANITIZED WAKE_SENDER
# GROUP: reports, reports_sanitized, every_interface, flood, errors.
set -euo pipefail

group=$1 lumora=$2 lumora_sanitized=$3 sender=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if [ "$(id -u)" -ne 0 ]; then echo "SKIP: network namespaces need root"; exit 77; fi
if ! command -v ip >/dev/null; then echo "SKIP: needs ip (iproute2)"; exit 77; fi

# A private test range, used inside the two namespaces only.
tx_ip=10.77.0.1 rx_ip=10.77.0.2 broadcast=10.77.0.255
tx_mac=02:4c:55:00:00:01 rx_mac=02:4c:55:00:00:02 stranger_mac=02:4c:55:00:00:99
target=001a2b3c4d5e
tx=lumora-tx-$$ rx=lumora-rx-$$
work=$(mktemp -d)
pid=""

cleanup() {
  # timeout passes SIGTERM on to lumora; SIGKILL would leave lumora behind.
  if [ -n "$pid" ]; then kill -TERM "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  ip netns del "$tx" 2>/dev/null || true
  ip netns del "$rx" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  if [ -s "$work/err" ]; then sed 's/^/  lumora stderr: /' "$work/err"; fi
  exit 1
}

# Polls a condition until it holds; fails after `seconds`.
wait_for() {
  local what=$1 seconds=$2
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "timed out after ${seconds} s waiting for $what"
    sleep 0.05
  done
}

link_up() {
  ip -n "$tx" link show veth-tx | grep -q LOWER_UP && ip -n "$rx" link show veth-rx | grep -q LOWER_UP
}

make_link() {
  ip netns add "$tx"
  ip netns add "$rx"
  ip link add veth-tx netns "$tx" address $tx_mac type veth peer name veth-rx netns "$rx" address $rx_mac
  ip -n "$tx" addr add $tx_ip/24 brd + dev veth-tx
  ip -n "$rx" addr add $rx_ip/24 brd + dev veth-rx
  ip -n "$tx" link set veth-tx up
  ip -n "$rx" link set veth-rx up
  ip -n "$rx" link set lo up
  # Known neighbours: no ARP exchange delays or drops the first datagrams.
  ip -n "$tx" neigh replace $rx_ip lladdr $rx_mac dev veth-tx nud permanent
  ip -n "$rx" neigh replace $tx_ip lladdr $tx_mac dev veth-rx nud permanent
  wait_for "the veth link" 20 link_up
}

lumora_gone() { [ ! -e "/proc/$pid" ] || grep -q '^[0-9]* ([^)]*) Z' "/proc/$pid/stat"; }
lumora_listening() { grep -q "listening on" "$work/err" || lumora_gone; }
reports_seen() { [ "$(grep -c 'Wake-On-LAN Magic Packet' "$work/out")" -ge "$1" ]; }

# Runs lumora in the receiving namespace; returns once its socket is bound.
start_lumora() {
  local program=$1
  shift
  ip netns exec "$rx" timeout -k 5 120 "$program" "$@" >"$work/out" 2>"$work/err" &
  pid=$!
  wait_for "lumora to listen" 20 lumora_listening
  lumora_gone && fail "lumora ended before listening"
  return 0
}

# Waits for lumora to end by itself (or after a signal) with exit code 0.
finish_lumora() {
  local code=0
  wait_for "lumora to exit" "${1:-20}" lumora_gone
  wait "$pid" || code=$?
  pid=""
  [ "$code" -eq 0 ] || fail "lumora exited with $code"
}

send() { ip netns exec "$tx" "$sender" "$@" || fail "wake_sender $*"; }
magic() { printf 'ffffffffffff'; printf "$1%.0s" {1..16}; }

run_reports() {
  local program=$1
  make_link
  start_lumora "$program" -c 4 -i veth-rx
  send udp $broadcast 9 "$(magic $target)"
  wait_for "the broadcast report" 20 reports_seen 1
  send udp $rx_ip 9 ffffffffff00ffffffffff  # five 0xFF twice: no stream
  send tcp $rx_ip 7
  send udp $rx_ip 9 "$(magic $target)a1a2a3a4a5a6"
  wait_for "the password report" 20 reports_seen 2
  send udp $rx_ip 40000 "01020304$(magic $target)"
  wait_for "the port 40000 report" 20 reports_seen 3
  send udp $rx_ip 9 "$(printf 'no wake-up here' | od -An -tx1 | tr -d ' \n')"
  send frame veth-tx "ffffffffffff${tx_mac//:/}0842$(magic 525400123456)"
  finish_lumora
  sed -E 's|^\t [0-9]{2}/[0-9]{2}/[0-9]{2}\t [0-9]{2}:[0-9]{2}:[0-9]{2}$|\t <date>\t <time>|' "$work/out" >"$work/seen"
  diff -u "$here/expected_reports.txt" "$work/seen" || fail "the reports differ from the expected ones"
  echo "PASS: $(basename "$program") printed the 4 expected reports in order, and nothing else:"
  cat "$work/out"
}

run_every_interface() {
  make_link
  # Every interface: the link and loopback, each packet once; then Ctrl-C.
  start_lumora "$lumora"
  send udp $broadcast 9 "$(magic $target)"
  send frame veth-tx "${rx_mac//:/}${tx_mac//:/}0842$(magic $target)"
  ip netns exec "$rx" "$sender" udp 127.0.0.1 9 "$(magic $target)" || fail "sending on loopback"
  wait_for "three reports" 20 reports_seen 3
  kill -INT "$pid"
  finish_lumora
  grep -q '^lumora: listening on every interface$' "$work/err" || fail "no start line"
  [ "$(grep -c 'Wake-On-LAN Magic Packet' "$work/out")" -eq 3 ] || fail "expected 3 reports, got: $(cat "$work/out")"
  grep -q 'Destination IP.*127.0.0.1' "$work/out" || fail "no loopback report"
  grep -q ', 3 magic packets reported, ' "$work/err" || fail "wrong closing line"
  echo "PASS: every interface, each packet reported once, Ctrl-C ends with 0"

  # One interface, promiscuous: the interface says so while lumora runs,
  # loopback is not watched, a frame for another host is reported; SIGTERM
  # ends it.
  start_lumora "$lumora" --promisc -i veth-rx
  ip -n "$rx" -d link show veth-rx | grep -q 'promiscuity 1' || fail "veth-rx is not promiscuous"
  ip netns exec "$rx" "$sender" udp 127.0.0.1 9 "$(magic $target)" || fail "sending on loopback"
  send frame veth-tx "${stranger_mac//:/}${tx_mac//:/}0842$(magic $target)"
  wait_for "the report of a frame for another host" 20 reports_seen 1
  kill -TERM "$pid"
  finish_lumora
  grep -q $'Destination MAC\t:\t02:4C:55:00:00:99' "$work/out" || fail "no report of the frame for another host"
  [ "$(grep -c 'Wake-On-LAN Magic Packet' "$work/out")" -eq 1 ] || fail "reported more than veth-rx: $(cat "$work/out")"
  ip -n "$rx" -d link show veth-rx | grep -q 'promiscuity 0' || fail "veth-rx stayed promiscuous"
  echo "PASS: --promisc sets and clears promiscuous mode, SIGTERM ends with 0"
}

run_flood() {
  # Bounded: 20000 datagrams or 30 s of sending, whichever comes first.
  local count=20000 every=100 magic_count=200
  make_link
  start_lumora "$lumora" -c $magic_count -i veth-rx
  local start=$EPOCHREALTIME
  send flood $rx_ip 9 $count $every 30 | tee "$work/flood"
  local deadline=$((SECONDS + 60))
  while ! lumora_gone && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.05; done
  local end=$EPOCHREALTIME
  lumora_gone || kill -INT "$pid"
  finish_lumora
  local reported lost
  reported=$(grep -c 'Wake-On-LAN Magic Packet' "$work/out" || true)
  lost=$((magic_count - reported))
  grep -A1 '^Pasword:$' "$work/out" | grep -v -e '^Pasword:$' -e '^--$' >"$work/numbers" || true
  for ((n = 0; n < magic_count; n++)); do printf '\t %02X %02X %02X %02X\n' 0 0 $((n >> 8)) $((n & 255)); done >"$work/expected"
  awk -v s="$start" -v e="$end" -v r="$(cat "$work/err")" 'BEGIN {
    match(r, /[0-9]+ frames captured/); f = substr(r, RSTART, RLENGTH) + 0
    printf "FLOOD: %.3f s from starting the sender to the last report: %.0f frames per second captured\n", e - s, f / (e - s) }'
  echo "FLOOD: magic packets reported $reported of $magic_count, lost $lost; $(tail -n 1 "$work/err")"
  grep -q "sent $count datagrams ($magic_count magic packets)" "$work/flood" || fail "the sender did not send them all in time"
  [ "$lost" -eq 0 ] || fail "$lost magic packets were not reported"
  diff -q "$work/expected" "$work/numbers" >/dev/null || fail "the magic packets were reported out of order"
  echo "PASS: every magic packet of the flood reported, in order"
}

# Runs a command that must fail with `code` and one line on standard error
# holding `message`, and print nothing on standard output.
expect_error() {
  local code=$1 message=$2 got=0
  shift 2
  timeout 20 "$@" >"$work/out" 2>"$work/err" || got=$?
  [ "$got" -eq "$code" ] || fail "'$*' exited with $got, not $code"
  [ "$(wc -l <"$work/err")" -eq 1 ] || fail "'$*' did not print exactly one line"
  grep -qF "$message" "$work/err" || fail "'$*' said '$(cat "$work/err")', not '$message'"
  [ ! -s "$work/out" ] || fail "'$*' printed on standard output"
  echo "PASS: $* -> $code: $(cat "$work/err")"
}

run_errors() {
  ip netns add "$rx"
  expect_error 1 "cannot capture: permission denied (lumora needs root or CAP_NET_RAW)" \
    ip netns exec "$rx" setpriv --bounding-set -net_raw "$lumora" -c 1
  expect_error 1 "lumora: no such interface: veth-none" ip netns exec "$rx" "$lumora" -i veth-none
  expect_error 2 "lumora: bad option '--bogus'" "$lumora" --bogus
  expect_error 2 "lumora: bad count '0'" "$lumora" -c 0
  expect_error 2 "lumora: --promisc needs an interface" "$lumora" --promisc
  [ "$("$lumora" --version)" = "lumora 1.1.0" ] || fail "wrong --version"
  echo "PASS: --version"
}

case "$group" in
  reports) run_reports "$lumora" ;;
  reports_sanitized) run_reports "$lumora_sanitized" ;;
  every_interface) run_every_interface ;;
  flood) run_flood ;;
  errors) run_errors ;;
  *) echo "unknown group $group"; exit 2 ;;
esac
