#!/usr/bin/env bash
# lumora end to end, as root: a veth pair between two network namespaces that
# this script creates and always removes. All traffic stays on that pair.
#   capture_test.sh GROUP LUMORA LUMORA_SANITIZED WAKE_SENDER CAPTURE_FILES
# GROUP: reports, reports_sanitized, every_interface, flood, errors, files,
# privileges, streams, formats, diagnosis, sender.
set -euo pipefail

group=$1 lumora=$2 lumora_sanitized=$3 sender=$4 capture_files=${5:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/netns.sh"

if [ "$(id -u)" -ne 0 ]; then echo "SKIP: network namespaces need root"; exit 77; fi
if ! command -v ip >/dev/null; then echo "SKIP: needs ip (iproute2)"; exit 77; fi

# A private test range, used inside the two namespaces only.
tx_ip=10.77.0.1 rx_ip=10.77.0.2 broadcast=10.77.0.255
tx_mac=02:4c:55:00:00:01 rx_mac=02:4c:55:00:00:02 stranger_mac=02:4c:55:00:00:99
tx_ip6=fd4c:55::1 rx_ip6=fd4c:55::2 tx_link6=fe80::4c55:1
target=001a2b3c4d5e
tx=lumora-tx-$$ rx=lumora-rx-$$ rx_if=veth-rx lan=lumora-lan-$$ awake_target=lumora-target-$$
work=$(mktemp -d)
pid=""

trap end_test EXIT

fail() {
  echo "FAIL: $*"
  for stream in err out; do [ ! -s "$work/$stream" ] || sed "s/^/  lumora std$stream: /" "$work/$stream" | head -n 20 || true; done
  exit 1
}

make_link() {
  new_namespace "$tx"
  new_namespace "$rx"
  veth "$tx" veth-tx $tx_ip/24 "$rx" "$rx_if" $rx_ip/24 $tx_mac $rx_mac
  # Fixed IPv6 addresses only, usable at once: the reports stay the same.
  ip -n "$tx" addr add $tx_ip6/64 dev veth-tx nodad
  ip -n "$tx" addr add $tx_link6/64 dev veth-tx nodad
  ip -n "$rx" addr add $rx_ip6/64 dev "$rx_if" nodad
  ip -n "$rx" link set lo up
  # Known neighbours: no ARP exchange delays or drops the first datagrams.
  ip -n "$tx" neigh replace $rx_ip lladdr $rx_mac dev veth-tx nud permanent
  ip -n "$rx" neigh replace $tx_ip lladdr $tx_mac dev "$rx_if" nud permanent
  ip -n "$tx" neigh replace $rx_ip6 lladdr $rx_mac dev veth-tx nud permanent
}

lumora_gone() { [ ! -e "/proc/$pid" ] || grep -q '^[0-9]* ([^)]*) Z' "/proc/$pid/stat"; }
lumora_listening() { grep -q "listening on" "$work/err" || lumora_gone; }
count_reports() { grep -c 'Wake-On-LAN Magic Packet' "$1" || true; }
reports_seen() { [ "$(count_reports "$work/out")" -ge "$1" ]; }
lines_seen() { [ "$(wc -l <"$work/out")" -ge "$1" ]; }

# Runs lumora in the receiving namespace; returns once its socket is bound.
start_lumora() {
  local program=$1
  shift
  # Emptied first: the background job's own redirection may come after the
  # first look for "listening on", which must not find the last run's.
  : >"$work/out" >"$work/err"
  ip netns exec "$rx" timeout -k 5 120 "$program" "$@" >"$work/out" 2>"$work/err" &
  pid=$!
  wait_for "lumora to listen" 20 lumora_listening
  ! lumora_gone || fail "lumora ended before listening"
}

# Waits for lumora to end by itself (or after a signal) with exit code
# EXPECTED (default 0).
finish_lumora() {
  local code=0
  wait_for "lumora to exit" "${1:-20}" lumora_gone
  wait "$pid" || code=$?
  pid=""
  [ "$code" -eq "${2:-0}" ] || fail "lumora exited with $code, not ${2:-0}"
}

send() { ip netns exec "$tx" "$sender" "$@" || fail "wake_sender $*"; }
magic() { printf 'ffffffffffff'; printf "$1%.0s" {1..16}; }

run_reports() {
  local program=$1
  make_link
  # A live 0x0842 frame's report is the every_interface group's.
  start_lumora "$program" -c 2 -i veth-rx
  send udp $broadcast 9 "$(magic $target)"
  wait_for "the broadcast report" 20 reports_seen 1
  send udp $rx_ip 9 ffffffffff00ffffffffff  # five 0xFF twice: no stream
  ip netns exec "$tx" timeout 5 bash -c "exec 3<>/dev/tcp/$rx_ip/7" 2>/dev/null && fail "TCP port 7 answered"
  send udp $rx_ip 40000 "01020304$(magic $target)a1a2a3a4a5a6"
  finish_lumora
  sed -E 's|^\t [0-9]{2}/[0-9]{2}/[0-9]{2}\t [0-9]{2}:[0-9]{2}:[0-9]{2}$|\t <date>\t <time>|' "$work/out" >"$work/seen"
  diff -u "$here/expected_reports.txt" "$work/seen" || fail "the reports differ from the expected ones"
  echo "PASS: $(basename "$program") printed the 2 expected reports in order, and nothing else:"
  cat "$work/out"
}

run_every_interface() {
  make_link
  # Every interface, as lines naming the interface of each frame (a cooked
  # header records no destination MAC): the link and loopback, each packet
  # once; then Ctrl-C, the target's outcome watched until then, and the summary.
  start_lumora "$lumora" --format line
  send udp $broadcast 9 "$(magic $target)"
  send frame veth-tx "${rx_mac//:/}${tx_mac//:/}0842$(magic $target)"
  ip netns exec "$rx" "$sender" udp 127.0.0.1 9 "$(magic $target)" || fail "sending on loopback"
  wait_for "three lines" 20 lines_seen 3
  kill -INT "$pid"
  finish_lumora
  grep -q '^lumora: listening on every interface$' "$work/err" || fail "no start line"
  [ "$(grep -c ' in ' "$work/out")" -eq 3 ] || fail "expected 3 magic packets, got: $(cat "$work/out")"
  tail -n 1 "$work/out" | grep -q " awake 00:1A:2B:3C:4D:5E: no sign before the capture ended, " ||
    fail "no outcome after Ctrl-C: $(cat "$work/out")"
  for seen in "veth-rx in udp4 $tx_ip.50000 > $broadcast.9" "veth-rx in ether ${tx_mac^^} > --:--:--:--:--:--" \
      "lo in udp4 127.0.0.1.50000 > 127.0.0.1.9"; do
    grep -qF " $seen: target 00:1A:2B:3C:4D:5E (Ayecom Technology Co., Ltd.), 16/16 copies" "$work/out" ||
      fail "no line '$seen': $(cat "$work/out")"
  done
  grep -q ', 3 magic packets reported, ' "$work/err" || fail "wrong closing line"
  grep -q '^lumora: 00:1A:2B:3C:4D:5E: 3 magic packets, 3 well formed, ' "$work/err" || fail "no summary after Ctrl-C"
  echo "PASS: every interface, each packet once on the interface it came in on, Ctrl-C ends with 0 and the summary"

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
  [ "$(count_reports "$work/out")" -eq 1 ] || fail "reported more than veth-rx: $(cat "$work/out")"
  ip -n "$rx" -d link show veth-rx | grep -q 'promiscuity 0' || fail "veth-rx stayed promiscuous"
  echo "PASS: --promisc sets and clears promiscuous mode, SIGTERM ends with 0"
}

run_flood() {
  # Bounded: 20000 datagrams or 30 s of sending, whichever comes first.
  local count=20000 every=100 magic_count=200
  make_link
  start_lumora "$lumora" -c $magic_count -i veth-rx
  send flood $rx_ip 9 $count $every 30 | tee "$work/flood"
  local deadline=$((SECONDS + 60))
  while ! lumora_gone && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.05; done
  lumora_gone || kill -INT "$pid"
  finish_lumora
  local lost=$((magic_count - $(count_reports "$work/out")))
  grep -A1 '^Pasword:$' "$work/out" | grep -v -e '^Pasword:$' -e '^--$' >"$work/numbers" || true
  for ((n = 0; n < magic_count; n++)); do printf '\t %02X %02X %02X %02X\n' 0 0 $((n >> 8)) $((n & 255)); done >"$work/expected"
  # How fast is bench/lumora_bench's question: here, none lost and in order.
  echo "FLOOD: magic packets reported $((magic_count - lost)) of $magic_count, lost $lost; $(tail -n 1 "$work/err")"
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
  new_namespace "$rx"
  expect_error 1 "cannot capture: permission denied (lumora needs root or CAP_NET_RAW)" \
    ip netns exec "$rx" setpriv --bounding-set -net_raw "$lumora" -c 1
  expect_error 1 "lumora: no such interface: veth-none" ip netns exec "$rx" "$lumora" -i veth-none
}


run_files() {
  "$capture_files" "$work" || fail "capture_files could not write the files"
  # Two hours east of UTC, needing no time zone database: each frame's
  # capture time in local time.
  export TZ=LUM-2
  local f code
  # Every link type as lines, each file's summary, and every kind of report.
  for f in ethernet.pcap cooked.pcap cooked2.pcap rawip.pcap ethernet.pcapng; do
    echo "### $f"
    "$lumora" -r "$work/$f" --format line 2>&1 | sed "s|$work/||" || fail "lumora -r $f exited with $?"
  done >"$work/lines"
  diff -u "$here/expected_file_lines.txt" "$work/lines" || fail "the lines of the files differ from the expected ones"
  # The report's bytes are the live ones (the reports group): here its time.
  "$lumora" -r "$work/ethernet.pcap" -c 1 >"$work/out" 2>/dev/null || fail "lumora -r -c 1 exited with $?"
  [ "$(count_reports "$work/out")" -eq 1 ] && grep -qx $'\t 03/07/26\t 23:05:03' "$work/out" ||
    fail "-r -c 1 is not one report in local capture time: $(cat "$work/out")"
  echo "PASS: -r of every link type, with the summary at the end of each file, and a report in local capture time"
  "$lumora" -r "$work/ethernet.pcap" >"$work/out" 2>/dev/null || fail "lumora -r exited with $?"
  "$lumora" -r - -w "$work/copy.pcap" <"$work/ethernet.pcap" >"$work/stdin" 2>/dev/null || fail "-r - -w exited with $?"
  diff -u "$work/out" "$work/stdin" || fail "-r - (standard input) differs from -r FILE"
  "$lumora" -r "$work/copy.pcap" >"$work/copy" 2>"$work/err" || fail "-r of the -w file exited with $?"
  diff -u "$work/out" "$work/copy" || fail "the -w file gives other reports"
  grep -qx 'lumora: 5 frames read, 5 magic packets reported' "$work/err" || fail "the -w file holds other frames: $(cat "$work/err")"
  "$lumora" -r "$work/ethernet.pcap" --format line --mac 52-54-00-12-34-56 >"$work/mac" 2>"$work/err" || fail "--mac failed"
  grep -m 2 '^[0-9].* 52:54:00:12:34:56' "$here/expected_file_lines.txt" | diff -u - "$work/mac" || fail "--mac: its two lines"
  grep -qx 'lumora: 8 frames read, 1 magic packet reported, 4 magic packets for other targets' "$work/err" ||
    fail "--mac: $(cat "$work/err")"
  "$lumora" -r "$work/ethernet.pcap" not ip6 >"$work/out" 2>"$work/err" || fail "a filter expression failed"
  [ "$(count_reports "$work/out")" -eq 4 ] || fail "'not ip6' left $(count_reports "$work/out") reports, not 4"
  # A tagged IPv6 datagram is no "ip6" at the outer offsets, as in tcpdump.
  ! grep -q 'Destination IP.*ff02::1' "$work/out" || fail "'not ip6' kept the untagged IPv6 datagram"
  head -c $(($(stat -c %s "$work/ethernet.pcap") - 40)) "$work/ethernet.pcap" >"$work/cut.pcap"
  code=0
  "$lumora" -r "$work/cut.pcap" >"$work/out" 2>"$work/err" || code=$?
  [ "$code" -eq 1 ] || fail "a cut file exited with $code, not 1"
  [ "$(count_reports "$work/out")" -eq 4 ] || fail "a cut file gave $(count_reports "$work/out") reports, not 4"
  cmp -s -n "$(stat -c %s "$work/out")" "$work/stdin" "$work/out" || fail "the reports before the cut differ"
  [ "$(grep -c 'truncated dump file' "$work/err")" -eq 1 ] || fail "no line naming the damage: $(cat "$work/err")"
  # A file's seconds are unsigned: past January 2038 is no time before 1970.
  "$lumora" -r "$work/late.pcap" --format json 2>/dev/null | head -n 1 | grep -q '"time":"2040-03-07T23:05:03.250000+02:00"' ||
    fail "late.pcap: $("$lumora" -r "$work/late.pcap" --format json 2>&1 | head -n 2)"
  # A capture time no calendar takes is said, never shown as another time.
  for format in report line json; do
    "$lumora" -r "$work/beyond.pcapng" --format $format >"$work/out" 2>"$work/err" || fail "beyond.pcapng: exit $?"
    [ ! -s "$work/out" ] && [ "$(grep -c ': a magic packet with a capture time no calendar can show: not reported$' \
      "$work/err")" -eq 2 ] || fail "beyond.pcapng, --format $format: $(cat "$work/out" "$work/err")"
  done
  echo "PASS: -r - and -w then -r alike; --mac; a filter expression; a cut file; times beyond every calendar"
  expect_error 1 "radio.pcap: link type 105 (IEEE802_11, 802.11) is not supported" "$lumora" -r "$work/radio.pcap"
  expect_error 2 "bad filter expression 'host and': can't parse filter expression: syntax error" \
    "$lumora" -r "$work/ethernet.pcap" host and
}

# The process timeout started: lumora itself.
lumora_process() { pgrep -P "$pid" | head -n 1; }

status_is() {
  local process line
  process=$(lumora_process)
  line=$(grep "^$1:" "/proc/$process/status")
  [ "$line" = "$1:"$'\t'"$2" ] || fail "$1 of process '$process' is not '$2': $line"
}

run_privileges() {
  make_link
  local nobody nogroup caps state set
  nobody=$(id -u nobody) nogroup=$(id -g nobody)
  # Started as root, and as the service starts it: CAP_NET_ADMIN reads the
  # card (a veth has no Wake-on-LAN), without it the state is unknown. Each
  # way, lumora reports as nobody with no groups and no capabilities.
  for caps in root:unsupported +net_raw,+net_admin:unsupported +net_raw:unknown; do
    state=${caps#*:} caps=${caps%:*}
    if [ "$caps" = root ]; then
      start_lumora "$lumora" -c 1 -i veth-rx
      status_is CapBnd 0000000000000000
    else
      start_lumora setpriv --reuid="$nobody" --regid="$nogroup" --clear-groups --inh-caps="$caps" \
        --ambient-caps="$caps" "$lumora" -c 1 -i veth-rx
    fi
    status_is Uid "$nobody"$'\t'"$nobody"$'\t'"$nobody"$'\t'"$nobody"
    status_is Gid "$nogroup"$'\t'"$nogroup"$'\t'"$nogroup"$'\t'"$nogroup"
    grep -qxE $'Groups:\t *' "/proc/$(lumora_process)/status" || fail "supplementary groups kept"
    for set in CapInh CapPrm CapEff CapAmb; do status_is $set 0000000000000000; done
    send udp $rx_ip 9 "$(magic $target)"
    finish_lumora
    [ "$(count_reports "$work/out")" -eq 1 ] || fail "no report started as $caps"
    grep -q "^lumora: veth-rx 02:4C:55:00:00:02: Wake-on-LAN $state, " "$work/err" || fail "as $caps: $(cat "$work/err")"
    echo "PASS: started as $caps, lumora reads the card as $state, reports as nobody and gives every capability up"
  done
  expect_error 1 "lumora: no such user: lumora-no-such-user" ip netns exec "$rx" "$lumora" -i veth-rx -Z lumora-no-such-user
}

# Descriptor 6: a full disk, or a pipe whose reader has gone before lumora
# writes (its only reader end opened and closed here).
merge_reading() { [[ "$(cat "/proc/$pid/wchan" 2>/dev/null)" == *pipe_read ]]; }

open_sink() {
  if [ "$1" = full ]; then exec 6>/dev/full; return; fi
  rm -f "$work/fifo" && mkfifo "$work/fifo"
  exec 5<>"$work/fifo" 6>"$work/fifo" 5<&-
}

run_streams() {
  make_link
  # Standard output closed: lumora ends before it opens any capture, so no
  # handle can become descriptor 1 and send reports onto the link.
  expect_error 1 "lumora: standard output is closed: nowhere to print the reports" \
    ip netns exec "$rx" bash -c 'exec "$@" >&-' - "$lumora" -i veth-rx -c 2

  # Standard output that goes away under every command and format: a pipe
  # whose reader has closed it (as head -1 or grep -m 1 do) ends lumora at
  # once and quietly, with 0 or SIGPIPE's status; a full disk gets one line
  # and exit 1. Nothing follows either: no count line, no summary. Line and
  # json go out by one path, the report's awake lines by another.
  "$capture_files" "$work" || fail "capture_files could not write the files"
  "$lumora" -r "$work/ethernet.pcap" --format json >"$work/records" 2>/dev/null || fail "no records to merge"
  local sink code codes said command full="cannot write to standard output: No space left on device"
  while read -r sink codes command; do
    code=0
    open_sink "$sink"
    ip netns exec "$rx" $lumora $command 2>"$work/err" >&6 || code=$?
    exec 6>&-
    [[ "|$codes|" == *"|$code|"* ]] || fail "lumora $command into $sink: exit $code, not $codes"
    grep -v "^lumora: reading " "$work/err" >"$work/said" || true
    said=""
    if [ "$sink" = full ]; then said="lumora: $full"; fi
    [ "$(cat "$work/said")" = "$said" ] || fail "lumora $command into $sink said: $(cat "$work/err")"
  done <<TABLE
closed 0|141 -r $work/ethernet.pcap --format report
closed 0|141 -r $work/ethernet.pcap --format json
closed 0|141 --merge $work/records
closed 0|141 --list-hints
closed 0|141 --check -i veth-rx
full 1 -r $work/ethernet.pcap --format report
full 1 -r $work/ethernet.pcap --format json
full 1 --merge --format json $work/records
full 1 --list-hints
full 1 -D
full 1 --check -i veth-rx --format json
TABLE
  echo "PASS: a reader that closed standard output ends every command quietly, a full disk with one line"

  # --merge behind journalctl -f: Ctrl-C ends the reading as the input's end
  # would, with the closing count.
  rm -f "$work/journal" && mkfifo "$work/journal"
  "$lumora" --merge "$work/journal" >"$work/out" 2>"$work/err" &
  pid=$!
  exec 7>"$work/journal"  # the writer stays, as journalctl -f does
  wait_for "lumora --merge to read its input" 20 merge_reading
  kill -INT "$pid"
  finish_lumora 20 0
  exec 7>&-
  grep -qx 'lumora: no wake attempts' "$work/out" || fail "no closing count after Ctrl-C: $(cat "$work/out")"

  # SIGHUP ends it like Ctrl-C.
  start_lumora "$lumora" -i veth-rx
  kill -HUP "$pid"
  finish_lumora
  grep -q '0 magic packets reported' "$work/err" || fail "no count line after SIGHUP"
  echo "PASS: --merge on a pipe that stays open: Ctrl-C ends it with its count; SIGHUP ends a capture with its count"
}

mask_times() { sed -E 's/^[0-9:]{8}\.[0-9]{6} /<time> /; s/(first|last) [0-9-]{10} [0-9:]{8}/\1 <time>/g; s/ended, [0-9.]+ s after/ended, <seconds> s after/'; }

# The json lines' KEYS, one line a record, after validating them.
json_keys() { /usr/bin/python3 "$here/check_json_lines.py" record "$work/out" "$@"; }
diagnosis_keys=(interface direction kind delivery ip_destination vlan would_wake target_interface target_name target_ip hints)

run_formats() {
  # Linux allows almost any byte in an interface name: json must escape it.
  rx_if='rx"q\w'
  make_link
  local payloads=() ports=(9 7 40000 9 9 9) i
  payloads=("$(magic $target)" "$(magic 525400123456)a1a2a3a4" "01020304$(magic $target)a1a2a3a4a5a6"
    "$(magic $target | head -c 192)0102030405060708" "$(magic $target | head -c 132)" "$(magic $target)a1a2a3a4a5")
  start_lumora "$lumora" -c 7 -i "$rx_if" --format json -w "$work/live.pcap"
  for i in "${!payloads[@]}"; do send udp $rx_ip "${ports[i]}" "${payloads[i]}"; done
  send udp6 $rx_ip6 9 "${payloads[0]}"
  finish_lumora
  # What each packet was is the lines' below; how json writes each field, the
  # byte-for-byte cases' (tests/records). Here: valid, the name read back whole.
  json_keys interface >"$work/seen" || fail "$(cat "$work/seen")"
  [ "$(sort -u "$work/seen")" = "$rx_if" ] && [ "$(wc -l <"$work/seen")" -eq 7 ] || fail "json: $(cat "$work/seen")"
  echo "PASS: 7 json lines read back by Python's json module and valid, on interface $rx_if"
  "$lumora" -r "$work/live.pcap" --format line >"$work/lines" 2>"$work/err" || fail "-r --format line failed"
  diff -u "$here/expected_lines.txt" <(mask_times <"$work/lines"; tail -n +2 "$work/err" | mask_times) ||
    fail "the lines or the summary differ from the expected ones"
  echo "PASS: the same packets as lines, then the summary:"
  cat "$work/lines" "$work/err"
}

# lumora in a private mount namespace whose /etc is an overlay holding the
# test's own /etc/ethers: the machine's files are never touched.
with_ethers() {
  mkdir -p "$work/etc/upper" "$work/etc/work"
  printf '02:4c:55:00:00:51 sleepy-pc\n' >"$work/etc/ethers"
  start_lumora unshare -m bash -c 'mount -t overlay overlay -o "lowerdir=/etc,upperdir=$0/upper,workdir=$0/work" /etc &&
    cp "$0/ethers" /etc/ethers && exec "$@"' "$work/etc" "$@"
}

expect_check() {
  local code=0
  ip netns exec "$rx" "$lumora" --check "$@" >"$work/check" 2>"$work/err" || code=$?
  [ "$code" -eq 1 ] || fail "--check $* exited with $code, not 1 (no card here wakes)"
}

run_diagnosis() {
  make_link
  expect_check -i "$rx_if" --format json
  /usr/bin/python3 "$here/check_json_lines.py" check "$work/check" || fail "--check json: $(cat "$work/check")"
  grep -qF '"interface":"veth-rx","mac":"02:4C:55:00:00:02","wake_on_lan":"unsupported","supported":null,"enabled":null,"secureon":null,"device_wakeup":null,"wakes_on_magic_packet":false,"hints":[{"code":"wol-unsupported"' \
    "$work/check" || fail "--check json on a veth: $(cat "$work/check")"
  expect_check
  [ "$(cat "$work/check")" = "1 interface with no device behind it (veth-rx): virtual, no card to wake this machine" ] ||
    fail "--check of every interface: $(cat "$work/check")"
  echo "PASS: --check on a veth: unsupported, exit 1; every interface: the veth on the shared line"

  ip -n "$rx" neigh replace 10.77.0.50 lladdr 02:4c:55:00:00:50 dev "$rx_if" nud stale
  # The expression is ANDed with lumora's own kernel filter: port 7 stays out.
  with_ethers "$lumora" -i "$rx_if" --format json -c 5 not udp port 7
  send udp $broadcast 7 "$(magic ${rx_mac//:/})"
  send udp $broadcast 9 "$(magic ${rx_mac//:/})"
  # A unicast for another MAC and another subnet's broadcast are the unit
  # table's, the latter live in the sender group; a tag and IPv6 multicast
  # here pass lumora's own kernel filter.
  send frame veth-tx "ffffffffffff${tx_mac//:/}8100000a0800$("$sender" ipv4 10.77.0.7 10.77.0.255 "$(magic $target)")"
  send udp6 "ff02::1%veth-tx" 9 "$(magic $target)"
  send udp $broadcast 9 "$(magic 024c55000050)"
  send udp $broadcast 9 "$(magic 024c55000051)"
  finish_lumora
  grep -B1 -x 'lumora: listening on veth-rx' "$work/err" |
    grep -q '^lumora: veth-rx 02:4C:55:00:00:02: Wake-on-LAN unsupported, .*; wol-unsupported: ' ||
    fail "no readiness line before 'listening on'"
  json_keys "${diagnosis_keys[@]}" >"$work/seen" || fail "$(cat "$work/seen")"
  diff -u - "$work/seen" <<'EOF' || fail "the diagnoses differ from the expected ones"
veth-rx in udp4 broadcast subnet_broadcast - false veth-rx - - wol-unsupported,locally-administered
veth-rx in udp4 broadcast subnet_broadcast 10 - - - - vlan-tagged,not-this-machine
veth-rx in udp6 multicast multicast - - - - - multicast,not-this-machine
veth-rx in udp4 broadcast subnet_broadcast - - - - 10.77.0.50 not-this-machine,locally-administered
veth-rx in udp4 broadcast subnet_broadcast - - - sleepy-pc - not-this-machine,locally-administered
EOF
  for label in "02:4C:55:00:00:02 (this machine's veth-rx)" "02:4C:55:00:00:50 (10.77.0.50)" "02:4C:55:00:00:51 (sleepy-pc)"; do
    grep -qF "lumora: $label: 1 magic packet," "$work/err" || fail "no summary line for $label"
  done
  echo "PASS: the readiness first, then 5 packets judged, valid against the schema, and each target named in the summary"

  local code=0
  ip netns exec "$rx" timeout 60 "$lumora" -i "$rx_if" --mac 00-1a-2b-3c-4d-5e --timeout 1 >"$work/out" 2>"$work/err" || code=$?
  [ "$code" -eq 3 ] && [ "$(tail -n 1 "$work/err")" = "lumora: no magic packet for 00:1A:2B:3C:4D:5E arrived in 1 s" ] ||
    fail "--timeout with nothing sent: exit $code"
  start_lumora "$lumora" -i "$rx_if" --mac 00:1a:2b:3c:4d:5e --timeout 60 --format line
  send udp $broadcast 9 "$(magic 024c55000050)"
  send udp $broadcast 9 "$(magic $target)"
  finish_lumora
  [ "$(wc -l <"$work/out")" -eq 1 ] || fail "--timeout did not end after the one packet: $(cat "$work/out")"
  expect_error 2 "lumora: --timeout is for live capture" "$lumora" -r /dev/null --timeout 5
  echo "PASS: --timeout: exit 3 and a line when nothing came, exit 0 once the packet came"
}

# The sending side: namespace tx with two links, each to a receiving namespace
# on a subnet of its own; the default route goes by the first.
make_sender() {
  local side subnet
  new_namespace "$tx"
  for side in a:10.77.0 b:10.78.0; do
    subnet=${side#*:} side=${side%%:*}
    new_namespace "$tx-$side"
    veth "$tx" "veth-$side" "$subnet.1/24" "$tx-$side" "rx-$side" "$subnet.2/24"
  done
  ip -n "$tx" neigh replace 10.77.0.2 lladdr "$(ip netns exec "$tx-a" cat /sys/class/net/rx-a/address)" \
    dev veth-a nud permanent
  ip -n "$tx" route add default via 10.77.0.2 dev veth-a
  # A network beyond the first link, whose broadcast address the route tells.
  ip -n "$tx" route add 10.99.1.0/24 via 10.77.0.2 dev veth-a
  # The target 02:4c:55:00:00:99 is known on the second link.
  ip -n "$tx" neigh replace 10.78.0.9 lladdr 02:4c:55:00:00:99 dev veth-b nud permanent
}

# Each receiving side: what came in, as lines, until COUNT came.
start_receiver() {
  ip netns exec "$tx-$1" timeout -k 5 60 "$lumora" -i "rx-$1" --format line -c "$2" --timeout 50 \
    >"$work/in-$1" 2>"$work/err-$1" &
  wait_for "the receiver on rx-$1" 20 grep -q "listening on" "$work/err-$1"
}

run_sender() {
  make_sender
  start_receiver a 6
  start_receiver b 2
  rx=$tx start_lumora "$lumora" -Q out --format json -c 8 --timeout 60
  local from="ip netns exec $tx" to
  for to in 255.255.255.255 10.77.0.255 10.78.0.255 255.255.255.255/024c55000099 10.99.0.5 10.99.1.255; do
    [[ $to == */* ]] || to+=/$target
    $from "$sender" udp "${to%/*}" 9 "$(magic "${to#*/}")" || fail "sending to $to"
  done
  getent protocols udp >/dev/null ||
    fail "wakeonlan looks up the udp protocol by name, and this machine has no /etc/protocols entry for it (netbase, which scripts/setup installs)"
  $from wakeonlan 00:1a:2b:3c:4d:5e >/dev/null || fail "wakeonlan"
  $from etherwake -i veth-b 00:1a:2b:3c:4d:5e || fail "etherwake"
  finish_lumora
  json_keys "${diagnosis_keys[@]}" >"$work/seen" || fail "$(cat "$work/seen")"
  diff -u - "$work/seen" <<'EOF' || fail "what lumora -Q out says differs from what was sent"
veth-a out udp4 - limited_broadcast - - - - - one-interface-only
veth-a out udp4 - subnet_broadcast - - - - - -
veth-b out udp4 - subnet_broadcast - - - - - -
veth-a out udp4 - limited_broadcast - - - - 10.78.0.9 one-interface-only,wrong-interface,locally-administered
veth-a out udp4 - other_subnet - - - - - unicast-ip
veth-a out udp4 - other_subnet - - - - - not-this-subnet
veth-a out udp4 - limited_broadcast - - - - - one-interface-only
veth-b out ether - - - - - - - -
EOF
  grep -q 'it left by veth-a only, not by veth-b: ' "$work/out" || fail "one-interface-only does not name both links"
  grep -q '"code":"unicast-ip","text":"Sent to the unicast address 10.99.0.5, for which this machine.s neighbour table holds no entry: ' \
    "$work/out" || fail "unicast-ip does not say what the neighbour table holds"
  grep -q "^lumora: 00:1A:2B:3C:4D:5E: 7 magic packets (7 sent by this machine), " "$work/err" || fail "no summary of the sent packets"
  echo "PASS: lumora -Q out: the link each packet left by, wakeonlan's and etherwake's too, and the hints of each"
  wait  # for the receivers, which end by -c or --timeout: a bare wait returns 0 whatever they did, so the lines tell
  [ "$(grep -c ' in udp4 10.77.0.1.[0-9]* > \(255.255.255.255\|10.77.0.255\|10.99.0.5\|10.99.1.255\).9: ' "$work/in-a")" -eq 6 ] ||
    fail "rx-a got: $(cat "$work/in-a")"
  [ "$(grep -c -e ' in udp4 10.78.0.1.50000 > 10.78.0.255.9: ' -e ' in ether ' "$work/in-b")" -eq 2 ] || fail "rx-b got: $(cat "$work/in-b")"
  echo "PASS: each receiving link got just what the sender says went out by it"
}

# One segment: a bridge in namespace lan, and a port of it in each of the
# sender's, the monitor's and the target's namespaces. The target has no
# IPv6 on its link, so it is silent but for the frames the test makes it send.
segment_mac=02:4c:55:00:00:30 shown_mac=02:4C:55:00:00:30
make_segment() {
  local host number=0
  new_namespace "$lan"
  ip -n "$lan" link add br0 type bridge
  ip netns exec "$lan" sysctl -qw net.ipv6.conf.all.disable_ipv6=1
  ip -n "$lan" link set br0 up
  for host in "$tx" "$rx" "$awake_target"; do
    new_namespace "$host"
    ip netns exec "$host" sysctl -qw net.ipv6.conf.default.disable_ipv6=1
    port "$host" eth0 "10.76.0.$((++number))/24" "$lan" "port$number"
  done
  ip -n "$awake_target" link set eth0 address $segment_mac
}

from_target() { ip netns exec "$awake_target" "$sender" sign "$1" eth0 || fail "the target could not send $1"; }
wake_target() {
  ip netns exec "$tx" wakeonlan -i 10.76.0.255 $segment_mac >/dev/null || fail "wakeonlan"
  wait_for "lumora to report the magic packet" 20 grep -q "$1" "$work/out"
}
awake_keys() { /usr/bin/python3 "$here/check_json_lines.py" all "$work/out" record outcome evidence evidence_source; }

# The outcome of each wake attempt, by the target's own frames after the
# magic packet: a DHCP request is a sign. That an ARP reply and a neighbour
# advertisement (a sleeping card's offload answers those) are none is the
# sign table's (tests/analysis); no_sign at the window's end, the QEMU sleep
# test's.
run_awake() {
  make_segment
  local watch=(-i eth0 --mac $segment_mac --until-awake --timeout 60)
  start_lumora "$lumora" "${watch[@]}" --awake-window 20 --format json -w "$work/woke.pcap"
  wake_target '"record":"magic"'
  from_target dhcp
  finish_lumora 20 0
  awake_keys >"$work/seen" || fail "$(cat "$work/seen")"
  printf '%s\n' "magic - - -" "awake woke dhcp 0.0.0.0" | diff -u - "$work/seen" || fail "a DHCP request after the packet is no 'woke'"
  grep -q "^lumora: $shown_mac: 1 magic packet, .*, woke [0-9.]* s after the magic packet (DHCP request)\$" "$work/err" ||
    fail "the summary does not end with the outcome: $(cat "$work/err")"
  "$lumora" -r "$work/woke.pcap" --format json >"$work/out" 2>"$work/err" || fail "lumora -r of the -w file"
  awake_keys | diff -u "$work/seen" - || fail "the -w file gives another outcome"
  # The merge of such records is the journal test's.
  echo "PASS: woke: a DHCP request after the magic packet, live and from the -w file; exit 0"

  start_lumora "$lumora" "${watch[@]}" --format line
  from_target arp-request
  wake_target " target $shown_mac, "
  finish_lumora 20 0
  grep -Eq "^[0-9:.]{15} eth0 awake $shown_mac: already awake \(ARP request [0-9.]+ s before the magic packet\)\$" "$work/out" ||
    fail "an ARP request before the packet is no 'already awake': $(cat "$work/out")"

  start_lumora "$lumora" -i eth0 --mac $segment_mac --until-awake --timeout 3
  finish_lumora 20 3

  # The timeout ends the watch inside the window: exit 4 says no sign, and so
  # does the record (the line's words are the every_interface group's).
  start_lumora "$lumora" -i eth0 --mac $segment_mac --until-awake --timeout 3 --format json
  wake_target '"record":"magic"'
  finish_lumora 20 4
  awake_keys | tail -n 1 | grep -qx "awake no_sign - -" || fail "exit 4 without its no_sign record: $(cat "$work/out")"
  echo "PASS: already_awake, exit 0; no magic packet within --timeout, exit 3; --timeout inside the window, exit 4"
}

case "$group" in
  reports) run_reports "$lumora" ;;
  reports_sanitized) run_reports "$lumora_sanitized" ;;
  every_interface) run_every_interface ;;
  flood) run_flood ;;
  errors) run_errors ;;
  files) run_files ;;
  privileges) run_privileges ;;
  streams) run_streams ;;
  formats) run_formats ;;
  diagnosis) run_diagnosis ;;
  sender) run_sender ;;
  awake) run_awake ;;
  *) echo "unknown group $group"; exit 2 ;;
esac
