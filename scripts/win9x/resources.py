#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Prints the icon images and the version record of a PE image's resources.

Usage: resources.py IMAGE

One line per icon group entry ("icon 32x32 8-bit"), then "version" with the
numeric file version and the FileVersion, FileDescription and
OriginalFilename strings. Exits 1 when the image has no resources.
"""
import struct
import sys

RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16


def sections(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count = struct.unpack_from("<H", data, pe + 6)[0]
    optional = struct.unpack_from("<H", data, pe + 20)[0]
    table = pe + 24 + optional
    for i in range(count):
        name, vsize, va, rsize, raw = struct.unpack_from("<8sIIII", data, table + 40 * i)
        yield name.rstrip(b"\0").decode(), va, raw, rsize


def leaves(data, base, va, offset=0, path=()):
    """(type, name, language) path and data bytes of every resource."""
    named, ids = struct.unpack_from("<HH", data, base + offset + 12)
    for i in range(named + ids):
        ident, target = struct.unpack_from("<II", data, base + offset + 16 + 8 * i)
        if target & 0x80000000:
            yield from leaves(data, base, va, target & 0x7FFFFFFF, path + (ident,))
        else:
            rva, size = struct.unpack_from("<II", data, base + target)
            yield path + (ident,), data[base + rva - va:base + rva - va + size]


def version_strings(block):
    """The string values of a VS_VERSIONINFO block, by key."""
    found = {}
    text = block.decode("utf-16-le", errors="replace")
    for key in ("FileVersion", "FileDescription", "OriginalFilename"):
        at = text.find(key + "\0")
        if at >= 0:
            start = at + len(key) + 1
            while start < len(text) and text[start] == "\0":
                start += 1
            found[key] = text[start:text.find("\0", start)]
    return found


def main():
    data = open(sys.argv[1], "rb").read()
    rsrc = [(va, raw) for name, va, raw, _ in sections(data) if name == ".rsrc"]
    if not rsrc:
        print("no resources")
        return 1
    va, raw = rsrc[0]
    for path, blob in leaves(data, raw, va):
        if path[0] == RT_GROUP_ICON:
            count = struct.unpack_from("<H", blob, 4)[0]
            for i in range(count):
                w, h, colors, _, planes, bits, size, ident = struct.unpack_from(
                    "<BBBBHHIH", blob, 6 + 14 * i)
                print(f"icon {w or 256}x{h or 256} {bits}-bit")
        elif path[0] == RT_VERSION:
            ms, ls = struct.unpack_from("<II", blob, 6 + 34 + 8)
            strings = version_strings(blob)
            print(f"version {ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF} "
                  + " ".join(f"{k}={v}" for k, v in sorted(strings.items())))
    return 0


if __name__ == "__main__":
    sys.exit(main())
