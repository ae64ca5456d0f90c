#!/usr/bin/env bash
# A cross-built lumora (arm64, armhf) under qemu-user against this machine's
# on the same inputs: every capture file in every form, one of 2040 and one
# past 2 GiB, and a collected journal merged in both forms. Standard output,
# standard error and the exit code must be the same, byte for byte.
#   foreign_test.sh ARCH FOREIGN_LUMORA SYSROOT QEMU NATIVE_BUILD
set -euo pipefail
arch=$1 foreign=$2 sysroot=$3 qemu=$4 native=$5
journal_entries=20000
for tool in lumora capture_files merge_journal_writer; do
  [ -x "$native/$tool" ] || { echo "FAIL: no $native/$tool: build the native preset first"; exit 1; }
done
# In memory: large.pcap is written and read three times over.
work=$(mktemp -d /dev/shm/lumora-foreign.XXXXXX)
trap 'rm -rf "$work"' EXIT
# US Eastern, with its summer time, in POSIX form: no time zone database.
export TZ=EST5EDT,M3.2.0,M11.1.0

"$native/capture_files" "$work" && "$native/capture_files" --large "$work" || { echo "FAIL: capture_files"; exit 1; }
"$native/merge_journal_writer" $journal_entries >"$work/journal.jsonl"
files=(ethernet.pcap cooked.pcap cooked2.pcap rawip.pcap radio.pcap ethernet.pcapng late.pcap large.pcap)
# A 32-bit time_t libpcap cuts pcapng's 64-bit seconds to 32 bits: the time
# no calendar takes is lost before lumora sees it.
[ "$arch" = armhf ] || files+=(beyond.pcapng)
runs=()
for file in "${files[@]}"; do
  for format in report line json; do runs+=("-r $file --format $format"); done
done
runs+=("--merge journal.jsonl" "--merge journal.jsonl --format json" "--merge journal.jsonl --gap 1 --awake-window 60")

# run WHO ARGS...: what lumora printed, then its exit code.
run() {
  local who=$1 code=0
  shift
  if [ "$who" = native ]; then "$native/lumora" "$@" || code=$?; else "$qemu" -L "$sysroot" "$foreign" "$@" || code=$?; fi
  echo "exit $code"
}

# qemu-user's 64-bit kernel opens every file for offsets past 2 GiB; a
# 32-bit kernel does so only for a program that asks, with open64 and fopen64.
if [ "$arch" = armhf ] && llvm-nm -D --undefined-only "$foreign" | grep -Ew 'f?open|fseeko?|ftello?'; then
  echo "FAIL: the armhf lumora opens files without large offsets"
  exit 1
fi

cd "$work"
lines=0
for args in "${runs[@]}"; do
  read -r -a words <<<"$args"
  run native "${words[@]}" >native.out 2>&1
  run foreign "${words[@]}" >foreign.out 2>&1
  diff -u native.out foreign.out >diff.out || { echo "FAIL: lumora $args: $arch differs"; head -n 40 diff.out; exit 1; }
  lines=$((lines + $(wc -l <native.out)))
done
echo "PASS: $arch lumora under $qemu printed what amd64's does, $lines lines in ${#runs[@]} runs (${#files[@]} files, 3 merges)"
