#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks PE import tables against the functions Windows 95 and 98 export.

Usage: imports.py IMAGE...

Every imported function must be listed in exports.txt (beside this script)
for its DLL. Windows 95 is the oldest system the program supports, so system
DLL functions must date from 95; C runtime functions must be in the
MSVCRT.DLL that Windows 98 ships, which Windows 95 users install. Exits 1 when
an import is outside the list.
"""
import os
import re
import subprocess
import sys

RUNTIME = "MSVCRT.DLL"


def load_exports():
    exports = {}
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "exports.txt")
    for line in open(path):
        line = line.split("#", 1)[0].split()
        if line:
            dll, function, since = line
            exports[(dll, function)] = since
    return exports


def imports(image):
    dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", image], check=True,
                          capture_output=True, text=True).stdout
    dll = None
    for line in dump.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1).upper()
            continue
        m = re.match(r"^\t[0-9a-f]+\t +[0-9]+ +(\S+)", line)
        if m and dll:
            yield dll, m.group(1)
        elif re.match(r"^\t[0-9a-f]+\t +<none> ", line) and dll:
            yield dll, "(by ordinal)"


def main():
    exports = load_exports()
    known_dlls = {dll for dll, _ in exports}
    status = 0
    for image in sys.argv[1:]:
        name = os.path.basename(image)
        found = sorted(set(imports(image)))
        problems = []
        for dll, function in found:
            since = exports.get((dll, function))
            if dll not in known_dlls:
                problems.append(f"{dll} is not a Windows 9x system DLL ({function})")
            elif since is None:
                problems.append(f"{dll} {function} is not exported by Windows 95 or 98")
            elif since != "95" and dll != RUNTIME:
                problems.append(f"{dll} {function} needs Windows {since}")
        for p in problems:
            print(f"{name}: {p}")
        dlls = sorted({dll for dll, _ in found})
        print(f"{name}: {len(found)} imports from {' '.join(dlls)}, "
              f"{len(problems)} outside what Windows 95 offers")
        status |= 1 if problems else 0
    return status


if __name__ == "__main__":
    sys.exit(main())
