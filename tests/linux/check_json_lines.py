#!/usr/bin/env python3
"""Reads lumora's json lines with Python's json module and checks each object,
key by key, against the tab-separated row the test wrote for its packet:
interface (hex, or - for none), kind, source, destination, source port,
destination port, UDP length, UDP checksum, target MAC, repetitions, password
(- for none), well formed (1/0), payload (hex), truncated (1/0), seconds and
microseconds of the capture time. A field of "*" is not compared.

usage: check_json_lines.py LINES.jsonl EXPECTED.tsv
"""
import calendar
import datetime
import json
import sys

KEYS = ["time", "interface", "kind", "source", "destination", "source_port", "destination_port", "udp_length",
        "udp_checksum", "target_mac", "repetitions", "password", "well_formed", "payload", "truncated"]


def expected(row):
    f = row.split("\t")
    udp = f[1] != "ether"
    number = lambda text: text if text == "*" else int(text) if udp else None
    want = dict(zip(KEYS[1:5], [None if f[0] == "-" else bytes.fromhex(f[0]).decode()]
                    + f[1:4]))
    want.update(udp_length=number(f[6]), udp_checksum=number(f[7]), target_mac=f[8], repetitions=int(f[9]),
                password=None if f[10] == "-" else f[10], well_formed=f[11] == "1", payload=f[12],
                truncated=f[13] == "1")
    if udp:
        want.update(source_port=number(f[4]), destination_port=number(f[5]))
    return want, f[14], f[15]


def check(line, row):
    got = json.loads(line)
    want, seconds, micros = expected(row)
    keys = [k for k in KEYS if k in want or k == "time"]
    if list(got) != keys:
        return f"keys {list(got)}"
    for key, value in want.items():
        if value != "*" and (got[key] != value or type(got[key]) is not type(value)):
            return f"{key}: {got[key]!r} is not {value!r}"
    when = datetime.datetime.fromisoformat(got["time"])
    stamp = calendar.timegm(when.utctimetuple())
    if seconds != "*" and (stamp != int(seconds) or when.microsecond != int(micros)):
        return f"time {got['time']} is not {seconds}.{micros}"
    if when.utcoffset() != datetime.datetime.fromtimestamp(stamp).astimezone().utcoffset():
        return f"time {got['time']} is not in local time"
    return None


def main():
    with open(sys.argv[1], "rb") as f:
        lines = f.read().decode("utf-8").split("\n")  # strict: the output must be valid UTF-8
    with open(sys.argv[2], encoding="ascii") as f:
        rows = f.read().split("\n")
    if lines[-1] != "" or len(lines) != len(rows) or len(lines) < 2:
        print(f"{len(lines) - 1} json lines for {len(rows) - 1} packets")
        return 1
    for number, (line, row) in enumerate(zip(lines[:-1], rows[:-1]), start=1):
        problem = check(line, row)
        if problem:
            print(f"line {number}: {problem}\n{line}")
            return 1
    print(f"{len(lines) - 1} json lines read back")
    return 0


if __name__ == "__main__":
    sys.exit(main())
