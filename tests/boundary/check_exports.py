#!/usr/bin/python3
"""Fails when a public platform library exports a symbol host/ does not
declare.

The deliverables link the public platform libraries; whatever those export
a deliverable can link against, whatever its headers say. So they export
the platform API alone: every defined dynamic symbol must belong to a class,
type or function named in host/ (matched as check_imports.py matches a
deliverable's imports). The simulator's and tests' hooks and the stand-ins'
internals live in internal libraries the deliverables do not link.

usage: check_exports.py HOST_DIR LIB...
"""
import pathlib
import sys

from check_imports import demangle, host_names, owner, symbols


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    host_dir, libraries = argv[1], argv[2:]
    for path in libraries:
        if not pathlib.Path(path).is_file():
            sys.exit(f"{path}: no such file (build it first)")
    api = host_names(host_dir)
    failed = False
    for library in libraries:
        # Absolute symbols (A) are the version nodes' names, not code or data.
        defined = [name for name, kind in symbols(library, "--defined-only") if kind != "A"]
        readable = demangle(defined)
        stray = sorted(name for name in defined if owner(readable[name]) not in api)
        for name in stray:
            print(f"{library}: exports {readable[name]} ({name}), which host/ does not declare")
        print(f"{library}: {len(defined)} exports, {len(stray)} outside the platform API")
        failed = failed or bool(stray)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
