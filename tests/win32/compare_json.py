#!/usr/bin/env python3
"""usage: compare_json.py LINUX WINDOWS

Compares two outputs of `quirometer ... --json`, one object a line: the same
lines, the same fields in the same order with the same values. The only
difference allowed is in "file", where Windows writes its own separator:
"a\\b" on Windows matches "a/b" on Linux. Exit status 1 on any difference."""
import json
import sys


def load(path):
    with open(path, encoding="utf-8") as f:
        return [line.rstrip("\n") for line in f]


def main():
    linux, windows = load(sys.argv[1]), load(sys.argv[2])
    problems = []
    if len(linux) != len(windows):
        problems.append(f"{len(linux)} lines on Linux, {len(windows)} on Windows")
    for n, (a, b) in enumerate(zip(linux, windows), 1):
        try:
            x, y = json.loads(a), json.loads(b)
        except json.JSONDecodeError as e:
            problems.append(f"line {n}: not JSON ({e})")
            continue
        if "file" in y:
            y["file"] = y["file"].replace("\\", "/")
        if list(x.items()) != list(y.items()):
            fields = [k for k in dict.fromkeys(list(x) + list(y)) if x.get(k) != y.get(k)]
            order = "" if fields else " (field order)"
            problems.append(f"line {n}{order}: " + ", ".join(f"{k}: {x.get(k)!r} / {y.get(k)!r}" for k in fields))
    for p in problems[:40]:
        print("  " + p)
    if problems:
        print(f"{len(problems)} differences (Linux / Windows)")
        return 1
    print(f"  {len(linux)} lines agree field for field")
    return 0


if __name__ == "__main__":
    sys.exit(main())
