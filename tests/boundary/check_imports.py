#!/usr/bin/python3
"""Fails when a deliverable imports a symbol that neither the platform API
nor the system libraries it may use define.

The platform API is what host/ declares: of the symbols the public platform
libraries export, only those of a class, type or function named in host/
count. Everything else they export (the simulator's and tests' hooks, the
stand-ins' internals) is out of a deliverable's reach, even when a source
includes a stand-in's header by a path around host/ and the link succeeds.

usage: check_imports.py HOST_DIR DELIVERABLE... --platform LIB...
"""
import pathlib
import re
import subprocess
import sys

# The system libraries a deliverable may import from (by soname prefix):
# the C and C++ run time, and SQLite. Sanitizer builds add their run times.
SYSTEM = ("libc.so", "ld-linux", "libstdc++.so", "libm.so", "libgcc_s.so", "libsqlite3.so",
          "libasan.so", "libubsan.so", "libtsan.so")

# Prefixes the demangler puts before the entity a symbol belongs to.
SPECIAL = ("vtable for ", "typeinfo for ", "typeinfo name for ", "VTT for ", "construction vtable for ",
           "non-virtual thunk to ", "virtual thunk to ", "guard variable for ")


def host_names(host_dir):
    """The classes, types and functions host/ declares."""
    names = set()
    for header in pathlib.Path(host_dir).glob("*.h"):
        text = re.sub(r"//[^\n]*", "", header.read_text())
        # Only a definition declares a type: a `friend class` or a forward
        # declaration names one that host/ leaves to the platform.
        names.update(re.findall(r"(?<!friend )\b(?:class|struct|enum class|enum)\s+(?:HOST_API\s+)?(\w+)"
                                r"(?=\s*(?:final\s*)?[:{])", text))
        names.update(re.findall(r"\busing\s+(\w+)\s*=", text))
        for declaration in re.findall(r"\b(?:HOST_API|PW_WIDGET_EXPORT)\s+([^;{]*?)\(", text):
            names.add(re.findall(r"(\w+)\s*$", declaration)[0])
    return names


def symbols(path, which):
    """(mangled, type) of the dynamic symbols of `path`, version suffixes dropped."""
    out = subprocess.run(["nm", "-D", "--format=posix", which, path], check=True, capture_output=True,
                         text=True).stdout
    result = []
    for line in out.splitlines():
        fields = line.split()
        if len(fields) >= 2:
            result.append((fields[0].split("@")[0], fields[1]))
    return result


def demangle(names):
    out = subprocess.run(["c++filt"], input="\n".join(names), check=True, capture_output=True, text=True).stdout
    return dict(zip(names, out.splitlines()))


def owner(demangled):
    """The outermost name a demangled symbol belongs to: `Value` for
    `Value::description() const`, `NSLog` for `NSLog(...)`."""
    for prefix in SPECIAL:
        if demangled.startswith(prefix):
            demangled = demangled[len(prefix):]
    return re.match(r"[\w~]*", demangled).group(0)


def system_libraries(deliverable):
    out = subprocess.run(["ldd", deliverable], check=True, capture_output=True, text=True).stdout
    paths = []
    for line in out.splitlines():
        match = re.match(r"\s*(\S+)\s*(?:=>\s*(\S+))?", line)
        if match and match.group(1).split("/")[-1].startswith(SYSTEM):
            paths.append(match.group(2) or match.group(1))
    return paths


def main(argv):
    if "--platform" not in argv or len(argv) < 4:
        sys.exit(__doc__)
    split = argv.index("--platform")
    host_dir, deliverables, platform = argv[1], argv[2:split], argv[split + 1:]
    for path in deliverables + platform:
        if not pathlib.Path(path).is_file():
            sys.exit(f"{path}: no such file (build it first)")
    api = host_names(host_dir)
    platform_defined = [name for lib in platform for name, _ in symbols(lib, "--defined-only")]
    readable = demangle(platform_defined)
    allowed = {name for name in platform_defined if owner(readable[name]) in api}
    failed = False
    for deliverable in deliverables:
        defined = set(allowed)
        for lib in system_libraries(deliverable):
            defined.update(name for name, _ in symbols(lib, "--defined-only"))
        # Weak references (w, v) may stay unresolved: nothing is imported.
        wanted = [name for name, kind in symbols(deliverable, "--undefined-only") if kind not in ("w", "v")]
        stray = sorted(name for name in wanted if name not in defined)
        for name, text in demangle(stray).items():
            print(f"{deliverable}: imports {text} ({name}), which neither host/ nor a system library provides")
            failed = True
        print(f"{deliverable}: {len(wanted)} imports, {len(stray)} outside the platform API")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
