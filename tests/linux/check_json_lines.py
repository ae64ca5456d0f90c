#!/usr/bin/python3
"""Reads lumora's json lines with Python's json module, validates each object
against the JSON Schema shipped in docs/ (a record, or a --check object), and
checks that its keys come in the documented order. With EXPECTED.tsv, each
record is also checked key by key against the tab-separated row the test
wrote for its packet: interface (hex, or - for none), kind, source,
destination, source port, destination port, UDP length, UDP checksum, target
MAC, repetitions, password (- for none), well formed (1/0), payload (hex),
truncated (1/0), seconds and microseconds of the capture time. A field of "*"
is not compared.

With --diagnosis instead, prints each valid record's diagnosis on a line of
its own for the test to compare: interface, direction, kind, delivery,
ip_destination, vlan, would_wake, target_interface, target_name, target_ip
and the hint codes (- for null).

usage: check_json_lines.py record|check LINES.jsonl [EXPECTED.tsv | --diagnosis]
"""
import calendar
import datetime
import json
import os
import sys

import jsonschema

DOCS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs")
KEYS = ["time", "interface", "kind", "source", "destination", "source_port", "destination_port", "udp_length",
        "udp_checksum", "target_mac", "repetitions", "password", "well_formed", "payload", "truncated"]


def load(name):
    with open(os.path.join(DOCS, name), encoding="utf-8") as f:
        return json.load(f)


def validator(kind):
    record = load("lumora-record.schema.json")
    schema = record if kind == "record" else load("lumora-check.schema.json")
    resolver = jsonschema.RefResolver.from_schema(schema, store={record["$id"]: record})
    jsonschema.Draft202012Validator.check_schema(schema)
    return jsonschema.Draft202012Validator(schema, resolver=resolver), schema["required"]


def expected(row):
    f = row.split("\t")
    udp = f[1] != "ether"
    number = lambda text: text if text == "*" else int(text) if udp else None
    want = dict(zip(KEYS[1:5], [None if f[0] == "-" else bytes.fromhex(f[0]).decode()] + f[1:4]))
    want.update(source_port=number(f[4]), destination_port=number(f[5]), udp_length=number(f[6]),
                udp_checksum=number(f[7]), target_mac=f[8], repetitions=int(f[9]),
                password=None if f[10] == "-" else f[10], well_formed=f[11] == "1", payload=f[12],
                truncated=f[13] == "1")
    return want, f[14], f[15]


def check_row(got, row):
    want, seconds, micros = expected(row)
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


def diagnosis(got):
    keys = ["interface", "direction", "kind", "delivery", "ip_destination", "vlan", "would_wake", "target_interface",
            "target_name", "target_ip"]
    words = ["-" if got[k] is None else json.dumps(got[k]).strip('"') for k in keys]
    return " ".join(words + [",".join(h["code"] for h in got["hints"]) or "-"])


def main():
    check, keys = validator(sys.argv[1])
    with open(sys.argv[2], "rb") as f:
        lines = f.read().decode("utf-8").split("\n")  # strict: the output must be valid UTF-8
    rows = None
    show = sys.argv[3:] == ["--diagnosis"]
    if len(sys.argv) > 3 and not show:
        with open(sys.argv[3], encoding="ascii") as f:
            rows = f.read().split("\n")
    if lines[-1] != "" or len(lines) < 2 or (rows is not None and len(lines) != len(rows)):
        print(f"{len(lines) - 1} json lines{'' if rows is None else f' for {len(rows) - 1} packets'}")
        return 1
    for number, line in enumerate(lines[:-1], start=1):
        got = json.loads(line)
        problem = next((e.message for e in check.iter_errors(got)), None)
        if problem is None and list(got) != keys:
            problem = f"keys {list(got)}"
        if problem is None and rows is not None:
            problem = check_row(got, rows[number - 1])
        if problem:
            print(f"line {number}: {problem}\n{line}")
            return 1
        if show:
            print(diagnosis(got))
    if not show:
        print(f"{len(lines) - 1} json lines read back and valid")
    return 0


if __name__ == "__main__":
    sys.exit(main())
