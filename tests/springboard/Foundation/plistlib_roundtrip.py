#!/usr/bin/python3
"""Property lists against Python's plistlib, with values Hypothesis generates.

Every value goes in as a file plistlib wrote (binary and XML) and as a binary
file of another writer's kind (every string UTF-16, equal values shared,
wide references); our reader must read each file plistlib reads, as the same
value, and what our writer makes of it must read back in plistlib as that
value. Where XML cannot carry a value, our XML write must refuse and leave
the target byte-identical.

What we read that plistlib refuses (LENIENCY) and what plistlib reads that
we refuse (STRICTNESS) are listed below; anything else either way fails.

usage: plistlib_roundtrip.py PATH_TO_plist_roundtrip
The number of examples: VELMORA_PLISTLIB_EXAMPLES (default 300).
"""
import datetime
import math
import os
import plistlib
import re
import struct
import subprocess
import sys
import tempfile

from hypothesis import HealthCheck, example, given, seed, settings
from hypothesis import strategies as st

SEED = 20261209
EXAMPLES = int(os.environ.get("VELMORA_PLISTLIB_EXAMPLES", "300"))
MAX_DEPTH = 256  # kMaxPropertyListDepth: levels of values, the root the first

# What we read and plistlib refuses, each on purpose:
LENIENCY = {
    # A string object marked ASCII whose bytes are UTF-8: other writers make
    # them, and the text is unambiguous.
    "utf8 in an ASCII string",
}
# Not generated here (plistlib can write neither): binary dates outside the
# years 1 to 9999, NaN and infinite ones included, which a Date keeps as the
# double it is and plistlib's datetime cannot hold.
# What plistlib reads and we refuse, each kept on purpose:
STRICTNESS = {
    # Nesting is bounded so that no file can exhaust the stack of a reader
    # that recurses per level (libplist does); plistlib has no bound.
    "nesting past 256 levels",
    # Keyed-archiver references have no property-list object to become.
    "UID",
    # Containers and data are copied at every reference to them, so that
    # what a list decodes to is bounded (2^20 objects, 16 MiB or 16 bytes per
    # input byte): a few kilobytes of nested sharing must not cost gigabytes.
    # plistlib shares Python objects instead. May, not must: the figure below
    # is an estimate.
    "expanded past the decode limits",
}
# Not generated here (plistlib writes none of them; the unit tests and the
# libFuzzer differential cover them): binary null objects and dictionary keys
# that are no strings (no Value or key to become), 16-byte integers outside
# -2^63..2^64-1 (no exact Value), and XML numbers that libplist reads
# differently from other readers ("010" as octal, "abc" as 0, hex reals).
# Sets, fill bytes, lone UTF-16 surrogates and headers other than bplist00
# plistlib refuses as well.

D = datetime.datetime
REFERENCE = D(2001, 1, 1)


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


XML_CANNOT_CARRY = re.compile(r"[\x00-\x08\x0b\x0c\x0e-\x1f\ufffe\uffff]")


def walk(value, depth=1):
    """(depth, value) of `value` and of everything in it."""
    yield depth, value
    if isinstance(value, list):
        for v in value:
            yield from walk(v, depth + 1)
    elif isinstance(value, dict):
        for k, v in value.items():
            yield depth + 1, k
            yield from walk(v, depth + 1)


def xml_carries(value):
    """Whether XML carries `value` exactly: our XML writer must refuse where it does not."""
    for _, v in walk(value):
        if isinstance(v, str) and XML_CANNOT_CARRY.search(v):
            return False
        if isinstance(v, D) and v.microsecond:
            return False
    return True


def strictness(value):
    """The reasons on the STRICTNESS list that `value` meets: those we must
    refuse for, and those we may."""
    must, nodes, cost = set(), 0, 0
    for depth, v in walk(value):
        nodes += 1
        cost += 100 + (len(v) if isinstance(v, bytes) else 100 * len(v) if isinstance(v, (list, dict)) else 0)
        if depth > MAX_DEPTH:
            must.add("nesting past 256 levels")
        if isinstance(v, plistlib.UID):
            must.add("UID")
    may = {"expanded past the decode limits"} if nodes > 1 << 20 or cost > 8 << 20 else set()
    return must, may


# --- another writer's binary form ----------------------------------------------

def other_writer(root, ref_size, offset_size, utf8_in_ascii):
    """Binary bytes of `root` as other writers make them: equal values stored
    once, every string UTF-16 (or, with utf8_in_ascii, UTF-8 under the ASCII
    marker), references and offsets at least the given widths."""
    objects, index = [], {}

    def identity(v):
        if isinstance(v, (list, dict)):
            return ("container", id(v))
        if isinstance(v, float):
            return ("float", struct.pack(">d", v))
        return (type(v).__name__, v)

    def add(v):
        key = identity(v)
        if key in index:
            return index[key]
        i = index[key] = len(objects)
        objects.append(None)
        if isinstance(v, list):
            objects[i] = ("array", [add(x) for x in v])
        elif isinstance(v, dict):
            keys = [add(k) for k in v]
            objects[i] = ("dict", keys + [add(x) for x in v.values()])
        else:
            objects[i] = ("scalar", v)
        return i

    add(root)
    ref_size = max(ref_size, 1 if len(objects) < 1 << 8 else 2 if len(objects) < 1 << 16 else 4)

    def integer(n):
        for width, marker in ((1, 0x10), (2, 0x11), (4, 0x12)):
            if 0 <= n < 1 << (8 * width):
                return bytes([marker]) + n.to_bytes(width, "big")
        if -(1 << 63) <= n < 1 << 63:
            return b"\x13" + n.to_bytes(8, "big", signed=True)
        return b"\x14" + n.to_bytes(16, "big", signed=True)

    def marker(kind, count):
        return bytes([kind << 4 | count]) if count < 15 else bytes([kind << 4 | 15]) + integer(count)

    def scalar(v):
        if isinstance(v, bool):
            return b"\x09" if v else b"\x08"
        if isinstance(v, int):
            return integer(v)
        if isinstance(v, float):
            return b"\x23" + struct.pack(">d", v)
        if isinstance(v, D):
            return b"\x33" + struct.pack(">d", (v - REFERENCE).total_seconds())
        if isinstance(v, bytes):
            return marker(0x4, len(v)) + v
        if isinstance(v, plistlib.UID):
            raw = v.data.to_bytes(8, "big").lstrip(b"\0") or b"\0"
            return bytes([0x80 | (len(raw) - 1)]) + raw
        if utf8_in_ascii and not v.isascii():
            raw = v.encode("utf-8", "surrogatepass")
            return marker(0x5, len(raw)) + raw
        raw = v.encode("utf-16-be", "surrogatepass")
        return marker(0x6, len(raw) // 2) + raw

    out, offsets = bytearray(b"bplist00"), []
    for kind, content in objects:
        offsets.append(len(out))
        if kind == "scalar":
            out += scalar(content)
        else:
            out += marker(0xA if kind == "array" else 0xD, len(content) // (1 if kind == "array" else 2))
            out += b"".join(r.to_bytes(ref_size, "big") for r in content)
    table = len(out)
    offset_size = max(offset_size, 1 if table < 1 << 8 else 2 if table < 1 << 16 else 4)
    out += b"".join(o.to_bytes(offset_size, "big") for o in offsets)
    out += struct.pack(">6xBBQQQ", offset_size, ref_size, len(objects), 0, table)
    return bytes(out)


# --- values ----------------------------------------------------------------------

INTEGERS = st.one_of(
    st.integers(-(1 << 63), (1 << 64) - 1),
    st.sampled_from([0, 255, 256, 65535, 65536, (1 << 32) - 1, 1 << 32, (1 << 63) - 1, -(1 << 63), 1 << 63,
                     (1 << 64) - 1]),
    st.integers(1 << 63, (1 << 64) - 1),
)
REALS = st.one_of(st.floats(allow_nan=True, allow_infinity=True, allow_subnormal=True),
                  st.sampled_from([5e-324, -0.0, 2.2250738585072009e-308, float("nan")]))
DATES = st.datetimes(min_value=D(1, 1, 1), max_value=D(9999, 12, 31, 23, 59, 59))
WHOLE_DATES = DATES.map(lambda d: d.replace(microsecond=0))
CHARACTERS = st.characters(blacklist_categories=("Cs",))
TEXT = st.one_of(
    st.text(CHARACTERS, max_size=20),
    st.text(st.characters(max_codepoint=0x7F), max_size=20),  # ASCII, NUL and controls included
    st.builds(lambda c, n: c * n, st.text(CHARACTERS, min_size=1, max_size=3), st.integers(0, 1200)),
)
DATA = st.one_of(st.binary(max_size=40), st.builds(lambda b, n: b * n, st.binary(min_size=1, max_size=3),
                                                   st.integers(0, 1500)))
SCALARS = st.one_of(st.booleans(), INTEGERS, REALS, DATES, WHOLE_DATES, TEXT, DATA)


def shared(values, most):
    """The one value behind many keys and in many places of a list."""
    return st.builds(lambda v, n: {f"k{i}": v for i in range(n)} if n % 2 else [v] * n, values,
                     st.integers(2, most))


def nested(values):
    """A value wrapped in arrays and dictionaries to near the depth limit (the
    root dictionary around it is one more level)."""
    def wrap(value, levels, as_dict):
        for i in range(levels):
            value = {"n": value} if as_dict[i % len(as_dict)] else [value]
        return value
    return st.builds(wrap, values, st.integers(MAX_DEPTH - 4, MAX_DEPTH + 1), st.lists(st.booleans(), min_size=1,
                                                                                        max_size=4))


VALUES = st.recursive(SCALARS, lambda children: st.one_of(
    st.lists(children, max_size=6), st.dictionaries(TEXT, children, max_size=6), shared(children, 30)), max_leaves=12)


def pick(value, deep, many, uid, n):
    """Mostly `value`; some in sixteen deep, shared, or beside a UID (drawn from the
    middle of 0..15: Hypothesis favours the ends)."""
    return {5: deep, 6: many, 9: many, 7: [value, uid]}.get(n, value)


TOP = st.builds(pick, VALUES, nested(SCALARS), shared(SCALARS, 300), st.builds(plistlib.UID, st.integers(0, 1 << 32)),
                st.integers(0, 15))


class Helper:
    """The C++ read/write helper, serving every example from one process."""

    def __init__(self, path, directory):
        self.process = subprocess.Popen([path], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.src, self.dst = os.path.join(directory, "in.plist"), os.path.join(directory, "out.plist")

    def round_trip(self, data, form):
        """(status, bytes at the target) after reading `data` and writing it as `form`."""
        with open(self.src, "wb") as f:
            f.write(data)
        sentinel = b"old settings, kept whole"
        with open(self.dst, "wb") as f:
            f.write(sentinel)
        self.process.stdin.write(f"{self.src}\t{self.dst}\t{form}\n")
        self.process.stdin.flush()
        status = int(self.process.stdout.readline())
        with open(self.dst, "rb") as f:
            return status, f.read(), sentinel


def inputs(root, encoding):
    """(name, bytes, what plistlib reads from them or None, leniency used) for each input file."""
    out = [("plistlib binary", plistlib.dumps(root, fmt=plistlib.FMT_BINARY, sort_keys=False))]
    try:
        out.append(("plistlib XML", plistlib.dumps(root, fmt=plistlib.FMT_XML, sort_keys=False)))
    except (ValueError, TypeError):  # control characters, UIDs: no XML form
        pass
    ref_size, offset_size, utf8 = encoding
    plain = other_writer(root, ref_size, offset_size, False)
    out.append(("other writer", plain))
    if utf8:
        out.append(("other writer, UTF-8 as ASCII", other_writer(root, ref_size, offset_size, True)))
    result = []
    for name, data in out:
        try:
            expected, lenient = plistlib.loads(data), None
        except Exception:  # noqa: BLE001 - plistlib refusing is what is checked
            expected, lenient = None, "utf8 in an ASCII string" if name.endswith("ASCII") else None
            if lenient:
                expected = plistlib.loads(plain)  # what the lenient file means
        result.append((name, data, expected, lenient))
    return result


COUNTS = {"files": 0, "files plistlib cannot read back": 0, "written and compared": 0, "refused writes": 0, "lenient reads": 0}
COUNTS.update({reason: 0 for reason in STRICTNESS})


def check(helper, value, encoding):
    root = {"v": value}
    refused_on_purpose, may_refuse = strictness(root)
    for name, data, expected, lenient in inputs(root, encoding):
        if expected is None and not lenient:
            COUNTS["files plistlib cannot read back"] += 1
            continue  # nothing to compare with
        COUNTS["files"] += 1
        for form in ("binary", "xml"):
            case = f"{name} -> {form}"
            status, out, sentinel = helper.round_trip(data, form)
            if status == 2 and may_refuse and not refused_on_purpose:
                for reason in may_refuse:
                    COUNTS[reason] += 1
                continue
            if refused_on_purpose:
                assert status == 2, f"{case}: read what the strictness list refuses ({refused_on_purpose})"
                for reason in refused_on_purpose:
                    COUNTS[reason] += 1
                continue
            if form == "xml" and not xml_carries(expected):
                assert (status, out) == (3, sentinel), f"{case}: expected a refused write, status {status}"
                COUNTS["refused writes"] += 1
                continue
            assert status == 0, f"{case}: status {status}"
            back = plistlib.loads(out)
            assert same(back, expected), f"{case}: {back!r} != {expected!r}"
            COUNTS["written and compared"] += 1
            if lenient:
                assert lenient in LENIENCY
                COUNTS["lenient reads"] += 1


def main():
    helper_path = sys.argv[1]
    with tempfile.TemporaryDirectory() as directory:
        helper = Helper(helper_path, directory)

        @seed(SEED)
        @settings(max_examples=EXAMPLES, deadline=None, database=None, print_blob=True,
                  suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large,
                                         HealthCheck.filter_too_much])
        @given(TOP, st.tuples(st.sampled_from([1, 2, 4, 8]), st.sampled_from([1, 2, 4, 8]), st.booleans()))
        # Besides the generated values, those that once failed.
        @example(["", "x"], (1, 1, False))  # an empty UTF-16 string read first
        @example({f"k{i}": "s" * 1000 for i in range(100)}, (1, 1, False))  # one string behind 100 keys
        @example(["a\rb\r\n", "\ufffe\uffff"], (1, 1, True))  # line ends; what XML has no form for
        def round_trips(value, encoding):
            check(helper, value, encoding)

        try:
            round_trips()
        except Exception:
            print(f"FAILED with seed {SEED}; the shrunk value is above", file=sys.stderr)
            raise
        finally:
            helper.process.stdin.close()
            helper.process.wait()
    print(f"{EXAMPLES} generated examples passed (seed {SEED}): " + ", ".join(f"{n} {k}" for k, n in COUNTS.items()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
