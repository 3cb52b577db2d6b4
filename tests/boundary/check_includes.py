#!/usr/bin/python3
"""Fails when a source under the given folders includes a path with a `..`
component: a deliverable sees the platform only through host/, and a path
that climbs out of the include directories would reach around it.

usage: check_includes.py FOLDER...
"""
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^">]*)[">]')
SOURCES = {".c", ".cc", ".cpp", ".cxx", ".h", ".hh", ".hpp", ".inc", ".mm", ".m"}


def main(folders):
    if not folders:
        sys.exit(__doc__)
    refused = 0
    for folder in folders:
        for path in sorted(pathlib.Path(folder).rglob("*")):
            if path.suffix not in SOURCES or not path.is_file():
                continue
            for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                match = INCLUDE.match(line)
                if match and ".." in re.split(r"[/\\]", match.group(1)):
                    print(f"{path}:{number}: includes \"{match.group(1)}\": a deliverable includes nothing by a path "
                          "with '..'")
                    refused += 1
    return 1 if refused else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
