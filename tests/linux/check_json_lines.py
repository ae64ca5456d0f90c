#!/usr/bin/python3
"""Reads lumora's json lines with Python's json module (strictly: the output
must be valid UTF-8), validates each object against the JSON Schema shipped
in docs/ and checks its keys come in the documented order. Then prints, one
line per object, the values of KEYS for the test to compare: strings as they
are, null as "-", hints as their codes joined by ",", anything else as JSON.

usage: check_json_lines.py record|all|check|attempt LINES.jsonl [KEY ...]
record prints the magic packets' records only, all every record; check
reads --check's objects, attempt lumora --merge --format json.
"""
import json
import os
import sys

import jsonschema

DOCS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs")


def load(name):
    with open(os.path.join(DOCS, name), encoding="utf-8") as f:
        return json.load(f)


def shown(key, value):
    if key == "hints":
        return ",".join(hint["code"] for hint in value) or "-"
    return "-" if value is None else value if isinstance(value, str) else json.dumps(value)


def main():
    kind, path, keys = sys.argv[1], sys.argv[2], sys.argv[3:]
    record = load("lumora-record.schema.json")
    schema = {"check": load("lumora-check.schema.json"), "attempt": load("lumora-attempt.schema.json")}.get(kind, record)
    jsonschema.Draft202012Validator.check_schema(schema)
    resolver = jsonschema.RefResolver.from_schema(schema, store={record["$id"]: record})
    check = jsonschema.Draft202012Validator(schema, resolver=resolver)
    # The documented key order: a record's by its kind, else the schema's own.
    orders = {name: part["required"] for name, part in record["$defs"].items() if "required" in part}
    with open(path, "rb") as f:
        lines = f.read().decode("utf-8").split("\n")
    if lines[-1] != "" or len(lines) < 2:
        print(f"not json lines: {lines!r:.200}")
        return 1
    for number, line in enumerate(lines[:-1], start=1):
        got = json.loads(line)
        problem = next((error.message for error in check.iter_errors(got)), None)
        order = orders[got.get("record")] if schema is record else schema["required"]
        if problem is None and list(got) != order:
            problem = f"keys {list(got)}"
        if problem:
            print(f"line {number}: {problem}\n{line}")
            return 1
        if keys and (kind != "record" or got["record"] == "magic"):
            print(" ".join(shown(key, got.get(key)) for key in keys))
    return 0


if __name__ == "__main__":
    sys.exit(main())
