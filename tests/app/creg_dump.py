# SPDX-License-Identifier: MIT
"""Prints every key and value of a Windows 9x hive as libcreg reads it, one
line each, in tree order, so that two hives can be compared as text."""
import sys

import pycreg


def walk(key, path, out):
    for i in range(key.number_of_values):
        v = key.get_value(i)
        data = v.data or b""
        out.append("V %s\t%r\t%d\t%s" % (path, v.name, v.type, data.hex()))
    for i in range(key.number_of_sub_keys):
        sub = key.get_sub_key(i)
        sub_path = path + "\\" + repr(sub.name)
        out.append("K " + sub_path)
        walk(sub, sub_path, out)


def main():
    f = pycreg.file()
    f.set_ascii_codepage("windows-932")
    f.open(sys.argv[1])
    out = []
    walk(f.get_root_key(), "", out)
    sys.stdout.write("\n".join(out) + "\n")
    f.close()


if __name__ == "__main__":
    main()
