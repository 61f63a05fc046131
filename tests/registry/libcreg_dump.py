#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Prints a hive's keys and values as libcreg (pycreg) reads them, in the text
form of `sabrel-hive dump`, so the two can be compared line by line.

usage: libcreg_dump.py [--codepage N] FILE
Exit status: 0 dumped, 1 libcreg rejected the file, 3 pycreg is not installed.
"""
import sys

try:
    import pycreg
except ImportError:
    sys.exit(3)


def quote(text):
    out = ['"']
    for ch in text:
        if ch in '"\\':
            out.append('\\' + ch)
        elif ord(ch) < 0x20 or ord(ch) == 0x7F:
            out.append('\\u%04x' % ord(ch))
        else:
            out.append(ch)
    out.append('"')
    return ''.join(out)


def main(argv):
    codepage = '932'
    args = argv[1:]
    if len(args) == 3 and args[0] == '--codepage':
        codepage = args[1]
        args = args[2:]
    if len(args) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    hive = pycreg.file()
    hive.set_ascii_codepage('cp' + codepage)
    try:
        hive.open(args[0])
        root = hive.get_root_key()
        keys = values = 0
        stack = [(root, '')]
        lines = []
        while stack:
            key, path = stack.pop()
            subkeys = [key.get_sub_key(i) for i in range(key.number_of_sub_keys)]
            lines.append('K %s subkeys=%d values=%d' % (quote(path), len(subkeys), key.number_of_values))
            keys += 1
            for i in range(key.number_of_values):
                value = key.get_value(i)
                data = value.data or b''
                lines.append('V %s %s type=0x%08x size=%d data=%s' % (
                    quote(path), quote(value.name or ''), value.type, len(data), data.hex()))
                values += 1
            for sub in reversed(subkeys):
                name = sub.name or ''
                stack.append((sub, name if not path else path + '\\' + name))
        lines.append('# keys=%d values=%d' % (keys, values))
    except (IOError, OSError) as error:
        print('libcreg: %s' % error, file=sys.stderr)
        return 1
    sys.stdout.write('\n'.join(lines) + '\n')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
