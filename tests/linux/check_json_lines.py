#!/usr/bin/env python3
"""Reads lumora's json lines with Python's json module and checks each object,
key by key, against the tab-separated expectations the test wrote for it. A
field of "*" is not compared (a time or a port the test cannot know).

usage: check_json_lines.py LINES.jsonl EXPECTED.tsv
Exits 0 when every line matches, 1 (naming the first mismatch) otherwise.
"""
import calendar
import codecs
import datetime
import json
import sys

UDP_KEYS = ["time", "interface", "kind", "source", "destination", "source_port", "destination_port",
            "udp_length", "udp_checksum", "target_mac", "repetitions", "password", "well_formed", "payload",
            "truncated"]
ETHER_KEYS = [k for k in UDP_KEYS if k not in ("source_port", "destination_port")]


def stray_bytes_as_latin1(error):
    # lumora writes a byte outside valid UTF-8 as the character of that value.
    return "".join(chr(b) for b in error.object[error.start:error.end]), error.end


codecs.register_error("lumora-stray", stray_bytes_as_latin1)


def expected_object(row):
    (name, kind, source, destination, sport, dport, length, checksum, mac, repetitions, password, well_formed,
     payload, truncated, seconds, micros) = row.split("\t")
    udp = kind != "ether"
    number = lambda text: text if text == "*" else int(text) if udp else None
    obj = {
        "interface": None if name == "-" else bytes.fromhex(name).decode("utf-8", "lumora-stray"),
        "kind": kind, "source": source, "destination": destination,
        "udp_length": number(length), "udp_checksum": number(checksum),
        "target_mac": mac, "repetitions": int(repetitions),
        "password": None if password == "-" else password,
        "well_formed": well_formed == "1", "payload": "" if payload == "-" else payload,
        "truncated": truncated == "1",
    }
    if udp:
        obj["source_port"] = number(sport)
        obj["destination_port"] = number(dport)
    return obj, udp, seconds, micros


def check_time(text, seconds, micros):
    when = datetime.datetime.fromisoformat(text)
    if seconds == "*":
        seconds, micros = calendar.timegm(when.utctimetuple()), when.microsecond
    seconds, micros = int(seconds), int(micros)
    local_offset = datetime.datetime.fromtimestamp(seconds).astimezone().utcoffset()
    if calendar.timegm(when.utctimetuple()) != seconds or when.microsecond != micros:
        return f"time {text} is not {seconds}.{micros:06d}"
    if when.utcoffset() != local_offset:
        return f"time {text} has not the local offset {local_offset}"
    return None


def check(line, row):
    got = json.loads(line)
    want, udp, seconds, micros = expected_object(row)
    keys = UDP_KEYS if udp else ETHER_KEYS
    if list(got.keys()) != keys:
        return f"keys {list(got.keys())}"
    for key, value in want.items():
        if value == "*":
            continue
        if got[key] != value or type(got[key]) is not type(value):
            return f"{key}: {got[key]!r} is not {value!r}"
    return check_time(got["time"], seconds, micros)


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
