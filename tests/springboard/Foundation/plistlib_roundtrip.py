#!/usr/bin/env python3
"""Values written by Python's plistlib (binary and XML) go through our reader
and writer and must come back as exactly what plistlib reads from its own
file; where XML cannot carry a value, our write must refuse and leave the
target byte-identical.

usage: plistlib_roundtrip.py PATH_TO_plist_roundtrip
"""
import datetime
import math
import os
import plistlib
import subprocess
import sys
import tempfile

D = datetime.datetime
CASES = [
    ("integers", [0, 1, -1, 255, 256, 65535, 65536, 2**31, 2**32, 2**63 - 1, -2**63, 2**63, 2**64 - 1]),
    ("booleans", [True, False]),
    ("reals", [0.1, -2.5e300, 5e-324, 1.0, float("inf"), float("-inf"), float("nan")]),
    ("dates", [D(1, 1, 1), D(1900, 1, 1), D(1932, 12, 13, 20, 45, 52), D(1901, 12, 13), D(2038, 1, 20),
               D(2069, 12, 31), D(2200, 6, 1, 12, 30, 5), D(9999, 12, 31, 23, 59, 59)]),
    ("fractional date", D(2100, 6, 1, 12, 0, 0, 500000)),
    ("strings", ["", "ascii", "Caf\u00e9", "\U0001F4DD note", "<&>\"'", "tab\tand\nnewline", "x" * 300]),
    ("ASCII with NUL", ["a\0b", "THEME_VANILLA_ID\0x", "VLIPC.Lists\0junk"]),
    ("UTF-16 with NUL", "k\u00e9\0y"),
    ("NUL in a key", {"k\u00e9\0k": "THEME_GRAPHITE_ID", "a\0": 1}),
    ("data", [b"", b"\0\xff" * 100, bytes(range(256))]),
    ("nested", {"a": [1, {"b": [[]]}], "e": {}, "l": [{"x": 1.5}, [True, b"z"]]}),
]


def same(a, b):
    """Equality that tells True from 1 and sees NaN as equal to NaN."""
    if type(a) is not type(b):
        return False
    if isinstance(a, float):
        return (math.isnan(a) and math.isnan(b)) or (a == b and math.copysign(1, a) == math.copysign(1, b))
    if isinstance(a, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, dict):
        return a.keys() == b.keys() and all(same(a[k], b[k]) for k in a)
    return a == b


def xml_exact(value):
    """Whether plistlib's XML can carry `value` as it is (it drops microseconds)."""
    if isinstance(value, D):
        return value.microsecond == 0
    if isinstance(value, list):
        return all(xml_exact(v) for v in value)
    if isinstance(value, dict):
        return all(xml_exact(v) for v in value.values())
    return True


def main():
    helper = sys.argv[1]
    failures, runs = [], 0
    with tempfile.TemporaryDirectory() as tmp:
        for name, value in CASES:
            root = {"v": value}
            inputs = {"binary": plistlib.dumps(root, fmt=plistlib.FMT_BINARY)}
            try:
                inputs["xml"] = plistlib.dumps(root, fmt=plistlib.FMT_XML)
            except ValueError:  # control characters: XML has no form for them
                pass
            for in_form, in_bytes in inputs.items():
                expected = plistlib.loads(in_bytes)
                carried_by_xml = "xml" in inputs and xml_exact(expected)
                for out_form in ("binary", "xml"):
                    runs += 1
                    case = f"{name}: {in_form} -> {out_form}"
                    src, dst = os.path.join(tmp, "in.plist"), os.path.join(tmp, "out.plist")
                    with open(src, "wb") as f:
                        f.write(in_bytes)
                    sentinel = b"old settings, kept whole"
                    with open(dst, "wb") as f:
                        f.write(sentinel)
                    status = subprocess.run([helper, src, dst, out_form]).returncode
                    with open(dst, "rb") as f:
                        out = f.read()
                    if out_form == "xml" and not carried_by_xml:
                        if status != 3 or out != sentinel:
                            failures.append(f"{case}: expected a refused write and the old file, got status {status}")
                        continue
                    if status != 0:
                        failures.append(f"{case}: status {status}")
                        continue
                    try:
                        back = plistlib.loads(out)
                    except Exception as error:  # noqa: BLE001 - any parse failure is the finding
                        failures.append(f"{case}: plistlib cannot read our file: {error}")
                        continue
                    if not same(back, expected):
                        failures.append(f"{case}: {back!r} != {expected!r}")
    for failure in failures:
        print("FAIL", failure)
    print(f"{runs - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
