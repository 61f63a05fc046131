#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes a large, used-looking Windows 95/98/Me registry hive (CREG) for the
benchmarks, built straight from the file format with nothing of Sabrel's own
writers, so that our reader meets a file it has never shaped itself.

usage: make_hive.py [--size MIB] [--seed N] OUT

The hive looks like one that Windows has grown and shrunk for years: about
4,950 keys and 9,900 values per MiB, trees up to 12 levels deep, a few keys
with thousands of subkeys, ASCII and Shift-JIS names (among them characters
whose second byte is 0x5C), REG_SZ, REG_DWORD and REG_BINARY data of 0 bytes
to a few KB, default values. Key entries sit in allocation order, not tree
order, with freed slots between them; records are scattered over data blocks
of varied sizes with freed records, slack and unused ids between them. Key
hashes are the sums Japanese Windows stores (double-byte characters with their
top bits flipped), so a checker with code page 932 sees ASCII-named keys as
good and keys with a double-byte character as bad, and none as ghosts.

Prints one line: keys (the root included, as readers count them), values, the
checker's good and bad keys, data blocks, file size and seconds taken.
The output depends only on --size and --seed.
"""
import argparse
import random
import struct
import sys
import time

NONE = 0xFFFFFFFF
MAX_DEPTH = 12
SLOT = 28
RECORD_HEAD = 20
VALUE_HEAD = 12
BLOCK_HEAD = 32
BLOCK_MAX = 0xF000
RECORD_MAX = 0x4000  # keeps even the largest key well inside one block
REG_SZ, REG_BINARY, REG_DWORD = 1, 3, 4
CP932_LEAD = frozenset(list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD)))

WORDS = (
    "Software Microsoft Windows CurrentVersion Explorer Shell Shell Folders Run "
    "RunOnce Uninstall Setup Control Panel Desktop Display Settings Enum Root "
    "Class System CurrentControlSet Services VxD Network Real Mode Net Config "
    "Security Provider Hardware Description Fonts FontSubstitutes Internet "
    "Settings Cache Paths Extensible Cache Policies Applets Accessories "
    "Multimedia Audio MIDI Map Drivers Printers Ports Modem Keyboard Layouts "
    "International Sorting Order Mouse Cursors Sounds AppEvents Schemes Apps "
    ".Default Default Open Command DefaultIcon InprocServer32 LocalServer32 "
    "ProgID VersionIndependentProgID TypeLib Interface CLSID Implemented "
    "Categories ShellEx ContextMenuHandlers PropertySheetHandlers IconHandler "
    "Office Word Excel PowerPoint Outlook Options Recent File List MRU "
    "Toolbars Preferences Plugins Components Install Location Version Build "
    "Help Language Resources Debug Trace Profiles Users Volatile Environment "
    "PCI ISAPNP BIOS MONITOR SCSI ESDI FLOP HTREE NETWORK USB HID Devices "
    "Status Bar Window Placement Columns View Stream Streams MountPoints "
    "Adobe Acrobat Reader Netscape Navigator Mozilla Symantec Norton AntiVirus "
    "Justsystem Ichitaro ATOK IME Input Method Fujitsu NEC Sony Toshiba Canon "
    "Epson Hewlett-Packard Creative Labs Sound Blaster Direct3D DirectDraw "
    "DirectX DirectPlay DirectSound Joystick Winsock Winsock2 Parameters "
    "Protocol_Catalog9 NameSpace_Catalog5 Catalog_Entries NetTrans NetClient "
    "MSTCP DHCP DNS WINS NetBIOS Workgroup Domain Logon Password Lists"
).split()
VALUE_WORDS = (
    "DisplayName UninstallString InstallDir Path Version Language Flags Attributes "
    "DeviceDesc HardwareID CompatibleIDs Mfg Driver Class ConfigFlags Capabilities "
    "NoDisplay EditFlags AlwaysShowExt FriendlyTypeName Content Type Extension "
    "Start Type ErrorControl Group ImagePath StaticVxD Count Size Left Top Right "
    "Bottom Width Height Maximized Font FontSize Color Background Wallpaper "
    "TileWallpaper ScreenSaveActive ScreenSaveTimeOut MRUList a b c d e f g h "
    "User Name Organization ProductId RegisteredOwner SystemRoot ProgramFilesDir "
    "CommonFilesDir MediaPath DevicePath ThreadingModel LastCheck Enabled Timeout"
).split()
# Shift-JIS text: kana, common kanji, and the characters whose second byte is
# 0x5C, which a byte-wise reader takes for a path separator.
JA_TRAIL_5C = "ソ表能十申予構貼噂暴"
JA_TEXT = (
    "あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよらりるれろわをん"
    "アイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワヲン"
    "ガギグゲゴザジズゼゾダヂヅデドバビブベボパピプペポャュョッー"
    "日本語設定表示画面文字入力変換辞書登録単語一覧情報管理者利用環境構成機能拡張"
    "印刷装置接続通信回線電話番号住所氏名会社部署年月日時分秒開始終了保存読込書込"
    "削除追加変更検索置換編集形式標準詳細全般共有暗号認証更新履歴最近使用項目"
)
JA_CHARS = [c.encode("cp932") for c in JA_TEXT] + [c.encode("cp932") for c in JA_TRAIL_5C] * 6
HALF_KANA = [bytes([b]) for b in range(0xB1, 0xDE)]
ALNUM = b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
HEX = "0123456789ABCDEF"


def name_hash(name):
    """The key hash Windows stores: the sum of the name's bytes, a to z counted
    as capitals; with code page 932 both bytes of a double-byte character
    count with their top bit flipped and half-width katakana count nothing."""
    if max(name, default=0) < 0x80:
        return sum(name.upper())
    total = 0
    i = 0
    n = len(name)
    while i < n:
        b = name[i]
        if b in CP932_LEAD:
            total += b ^ 0x80
            if i + 1 < n:
                total += name[i + 1] ^ 0x80
            i += 2
            continue
        if 0x61 <= b <= 0x7A:
            total += b - 0x20
        elif not 0xA1 <= b <= 0xDF:
            total += b
        i += 1
    return total & 0xFFFFFFFF


def has_double_byte(name):
    return any(b in CP932_LEAD for b in name)


def round_up(n, unit):
    return (n + unit - 1) // unit * unit


class Maker:
    def __init__(self, seed):
        self.rng = random.Random(seed)

    # ---- names and data -------------------------------------------------
    def ascii_name(self):
        rng = self.rng
        r = rng.random()
        if r < 0.45:
            return rng.choice(WORDS).encode()
        if r < 0.60:
            return ("%s %s" % (rng.choice(WORDS), rng.choice(WORDS))).encode()
        if r < 0.72:
            g = "".join(rng.choice(HEX) for _ in range(32))
            return ("{%s-%s-%s-%s-%s}" % (g[:8], g[8:12], g[12:16], g[16:20], g[20:])).encode()
        if r < 0.82:
            return ("%04d" % rng.randrange(10000 if rng.random() < 0.5 else 40)).encode()
        if r < 0.88:
            return ("." + "".join(chr(rng.choice(ALNUM)) for _ in range(rng.randint(1, 4)))).lower().encode()
        if r < 0.97:
            return bytes(rng.choice(ALNUM) for _ in range(rng.randint(1, 40)))
        return bytes(rng.choice(ALNUM) for _ in range(rng.randint(60, 200)))

    def japanese_name(self):
        rng = self.rng
        parts = []
        if rng.random() < 0.3:
            parts.append(rng.choice(WORDS).encode())
        parts.extend(rng.choice(JA_CHARS) for _ in range(rng.randint(1, 14)))
        if rng.random() < 0.15:
            parts.extend(rng.choice(HALF_KANA) for _ in range(rng.randint(1, 6)))
        if rng.random() < 0.2:
            parts.append(str(rng.randrange(100)).encode())
        return b"".join(parts)

    def key_name(self):
        return self.japanese_name() if self.rng.random() < 0.12 else self.ascii_name()

    def value_name(self):
        rng = self.rng
        r = rng.random()
        if r < 0.75:
            return rng.choice(VALUE_WORDS).encode()
        if r < 0.90:
            return bytes(rng.choice(ALNUM) for _ in range(rng.randint(1, 24)))
        if r < 0.95:
            return self.japanese_name()
        return ("%s%d" % (rng.choice(VALUE_WORDS), rng.randrange(1000))).encode()

    def text(self, length):
        rng = self.rng
        if rng.random() < 0.1:
            parts, n = [], 0
            while True:
                c = rng.choice(JA_CHARS)
                if n + len(c) > length:
                    break
                parts.append(c)
                n += len(c)
            return b"".join(parts) + b" " * (length - n)
        head = b"C:\\WINDOWS\\SYSTEM\\" if rng.random() < 0.3 else b""
        body = bytes(rng.choice(ALNUM) for _ in range(min(length, 24)))
        out = head + body
        while len(out) < length:
            out += b" " + body
        return out[:length]

    def value(self):
        """One value entry's bytes (head, name, data), its name excluded from
        the caller's duplicate check by being returned apart."""
        rng = self.rng
        r = rng.random()
        if r < 0.55:
            vtype = REG_SZ
            s = rng.random()
            if s < 0.10:
                n = 0
            elif s < 0.96:
                n = rng.randint(1, 40)
            elif s < 0.996:
                n = rng.randint(61, 1000)
            else:
                n = rng.randint(1001, 4000)
            data = self.text(n)
            if rng.random() < 0.05:
                data += b"\0"
        elif r < 0.75:
            vtype = REG_DWORD
            data = struct.pack("<I", rng.choice((0, 1, rng.getrandbits(32), rng.randrange(256))))
        else:
            vtype = REG_BINARY
            s = rng.random()
            if s < 0.05:
                n = 0
            elif s < 0.87:
                n = rng.randint(1, 24)
            elif s < 0.99:
                n = rng.randint(33, 512)
            else:
                n = rng.randint(513, 4096)
            data = rng.randbytes(n)
        u = rng.random()
        unknown = NONE if u < 0.9 else (0 if u < 0.95 else rng.choice((0xFFFFFF00, 0xFFFF0000, 1)))
        return vtype, unknown, data

    def value_count(self):
        r = self.rng.random()
        if r < 0.41:
            return 0
        if r < 0.67:
            return 1
        if r < 0.81:
            return 2
        if r < 0.91:
            return self.rng.randint(3, 5)
        if r < 0.975:
            return self.rng.randint(6, 9)
        if r < 0.996:
            return self.rng.randint(10, 30)
        return self.rng.randint(31, 90)

    def key_body(self):
        """The values part of a key record and its value count."""
        rng = self.rng
        count = self.value_count()
        seen = set()
        parts = []
        size = 0
        for _ in range(count):
            name = b"" if (not seen and rng.random() < 0.25) else self.value_name()
            folded = name.upper()
            if folded in seen:
                continue
            vtype, unknown, data = self.value()
            entry = struct.pack("<IIHH", vtype, unknown, len(name), len(data)) + name + data
            if size + len(entry) > RECORD_MAX - 400:
                break
            seen.add(folded)
            parts.append(entry)
            size += len(entry)
        return b"".join(parts), len(parts)

    # ---- the tree -------------------------------------------------------
    def grow(self, target_bytes):
        """Keys in creation order until the estimated file reaches the target:
        parent, depth, name, values blob and value count per key."""
        rng = self.rng
        parent = [-1]
        depth = [0]
        names = [b""]
        bodies = [b""]
        counts = [0]
        children = [[]]
        taken = set()
        hubs = []
        hub_weights = []
        # Per key: its record, its 28-byte entry, and the free space that
        # freed records, slack and freed slots add around them on average.
        estimate = 0x20 + 0x2000
        for top in (b"Config", b"Enum", b"hardware", b"Network", b"Security", b"SOFTWARE", b"System", b"Desktop"):
            self._add(0, top, parent, depth, names, bodies, counts, children, taken)
        while estimate < target_bytes:
            i = len(parent)
            if not hubs and i >= 2000:
                pool = [k for k in range(9, i) if 2 <= depth[k] <= 6]
                hubs = rng.sample(pool, 24)
                hub_weights = [1.0 / (j + 1) for j in range(24)]
            r = rng.random()
            if hubs and r < 0.06:
                p = rng.choices(hubs, hub_weights)[0]
            else:
                # A sibling or a child of a key made shortly before, or of any
                # key; mostly siblings, which keeps the tree bushy, not deep.
                if r < 0.55:
                    p = max(1, i - 1 - int(rng.expovariate(1 / 8.0)))
                else:
                    p = rng.randrange(1, i)
                if parent[p] and rng.random() < 0.65:
                    p = parent[p]
            while depth[p] >= MAX_DEPTH:
                p = parent[p]
            size = self._add(p, None, parent, depth, names, bodies, counts, children, taken)
            estimate += int(size * 1.125) + SLOT + 1
        return parent, names, bodies, counts, children

    def _add(self, p, name, parent, depth, names, bodies, counts, children, taken):
        while True:
            if name is None:
                name = self.key_name()
            folded = (p, name.upper())
            if folded not in taken:
                break
            name = None
        taken.add(folded)
        body, count = self.key_body()
        parent.append(p)
        depth.append(depth[p] + 1)
        names.append(name)
        bodies.append(body)
        counts.append(count)
        children.append([])
        children[p].append(len(parent) - 1)
        return RECORD_HEAD + len(name) + len(body)

    def scatter(self, n, moved):
        """1..n-1 in creation order with a share `moved` of them placed at
        random, as space freed elsewhere was reused."""
        rng = self.rng
        order = [(rng.random() * n if rng.random() < moved else float(i), i) for i in range(1, n)]
        order.sort()
        return [i for _, i in order]

    # ---- data blocks ----------------------------------------------------
    def blocks(self, names, bodies, counts):
        """Lays the records out in data blocks; returns the block images and
        each key's (record id, block number)."""
        rng = self.rng
        n = len(names)
        where = [(0xFFFF, 0xFFFF)] * n
        order = self.scatter(n, 0.6)
        images = []
        pos = 0
        while pos < len(order):
            number = len(images)
            cap = BLOCK_MAX if rng.random() < 0.7 else rng.choice((0x8000, 0xA000, 0xC000, 0xD000, 0xE000))
            cap_ids = 255 if rng.random() < 0.85 else rng.randint(60, 254)
            items = []  # (key or -1 for a free record, size)
            content = 0
            records = 0
            while pos < len(order) and records < cap_ids:
                k = order[pos]
                used = RECORD_HEAD + len(names[k]) + len(bodies[k])
                s = rng.random()
                slack = 0 if s < 0.93 else rng.randint(1, 19) if s < 0.97 else rng.randint(20, 99) if s < 0.998 else rng.randint(100, 1000)
                free = rng.randint(20, 400) if rng.random() < 0.03 else 0
                if free and rng.random() < 0.05:
                    free = rng.randint(401, 3000)
                need = used + slack + free
                if BLOCK_HEAD + content + need > cap and items:
                    break
                if free:
                    items.append((-1, free))
                items.append((k, used + slack))
                content += need
                records += 1
                pos += 1
            size = round_up(BLOCK_HEAD + content, 0x1000)
            if rng.random() < 0.05 and size + 0x1000 <= BLOCK_MAX:
                size += 0x1000
            tail = size - BLOCK_HEAD - content
            if tail >= RECORD_HEAD:
                items.append((-1, tail))
            elif tail:
                k, s = items[-1]
                items[-1] = (k, s + tail)
            images.append(self._block(number, size, items, records, names, bodies, counts, where))
        return images, where

    def _block(self, number, size, items, records, names, bodies, counts, where):
        rng = self.rng
        spare = rng.randint(0, (255 - records) // 2) if records < 255 else 0
        ids = rng.sample(range(records + spare), records)
        lowest_free = 0
        used_ids = set(ids)
        while lowest_free in used_ids:
            lowest_free += 1
        if lowest_free > 254:
            lowest_free = 255
        max_id = max(ids)
        if rng.random() < 0.2:
            max_id = rng.randint(max_id, 254)
        free_offsets = []
        off = BLOCK_HEAD
        for k, s in items:
            if k < 0:
                free_offsets.append(off)
            off += s
        links = free_offsets[:]
        rng.shuffle(links)
        next_free = {a: b for a, b in zip(links, links[1:] + [NONE])}
        parts = [None]
        off = BLOCK_HEAD
        unused = 0
        it = iter(ids)
        for k, s in items:
            if k < 0:
                stale = min(rng.randint(1, 40), s - RECORD_HEAD)
                parts.append(struct.pack("<IHHIHHI", s, 0xFFFF, 0xFFFF, next_free[off], stale, 0, 0))
                parts.append(rng.randbytes(s - RECORD_HEAD) if s < 512 else bytes(s - RECORD_HEAD))
                unused += s
            else:
                rid = next(it)
                where[k] = (rid, number)
                name = names[k]
                used = RECORD_HEAD + len(name) + len(bodies[k])
                parts.append(struct.pack("<IHHIHHI", s, rid, number, used, len(name), counts[k], 0))
                parts.append(name)
                parts.append(bodies[k])
                if s > used:
                    parts.append(rng.randbytes(s - used))
            off += s
        head = links[0] if links else NONE
        parts[0] = struct.pack("<4sIIHHIHHII", b"RGDB", size, unused, 0x0008, number, head, max_id, lowest_free, 0, 0)
        image = b"".join(parts)
        assert len(image) == size
        return image

    # ---- key entries ----------------------------------------------------
    def key_area(self, names, children, parent, where):
        rng = self.rng
        n = len(names)
        order = self.scatter(n, 0.5)
        freed = max(1, n // 60)
        sequence = []
        for k in order:
            if rng.random() < freed / n:
                sequence.append(-1)
            sequence.append(k)
        slots_needed = 1 + len(sequence) + 1  # root, keys and freed slots, a tail slot
        chunks = 0
        while 291 + 146 * chunks < slots_needed:
            chunks += 1
        chunks += rng.randint(0, 1)
        size = 0x2000 + 0x1000 * chunks

        def slot_offset(s):
            if s < 291:
                return 0x20 + SLOT * s
            m, j = divmod(s - 291, 146)
            return 0x1000 * (m + 2) + SLOT * j

        offset = [0] * n
        offset[0] = 0x20
        freed_at = []
        for s, k in enumerate(sequence, start=1):
            if k < 0:
                freed_at.append(slot_offset(s))
            else:
                offset[k] = slot_offset(s)
        tail = slot_offset(len(sequence) + 1)
        area = bytearray(size)
        for m in range(chunks):  # stale bytes in the pad at the end of each chunk
            pad = 0x2000 + 0x1000 * m - 8 if m else 0x1FF4
            area[pad : pad + 8] = rng.randbytes(8)
        rng.shuffle(freed_at)
        chain = freed_at + [tail]
        pack = struct.Struct("<IIIIIIHH").pack_into
        for a, b in zip(chain, chain[1:]):
            pack(area, a, 0x80000000, SLOT, b, rng.getrandbits(32), NONE, NONE, 0xFFFF, 0xFFFF)
        area[tail : size] = bytes(size - tail)
        struct.pack_into("<III", area, tail, 0x80000000, size - tail, NONE)
        following = [NONE] * n
        for kids in children:
            for a, b in zip(kids, kids[1:]):
                following[a] = offset[b]
        stale_next = (NONE, NONE, NONE, 0, 4, 0x1670, 0x30303030)
        for k in range(n):
            kids = children[k]
            pack(area, offset[k], 0, name_hash(names[k]) if k else 0, rng.choice(stale_next),
                 offset[parent[k]] if k else NONE, offset[kids[0]] if kids else NONE,
                 following[k], where[k][0], where[k][1])
        struct.pack_into("<4sIIIIIII", area, 0, b"RGKN", size, 0x20, chain[0], 0x8, 0, 0, 0)
        return area


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--size", type=float, default=100, help="file size in MiB (default 100)")
    parser.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    parser.add_argument("out", help="the hive file to write")
    args = parser.parse_args(argv[1:])
    if not 0.05 <= args.size <= 1500:
        parser.error("--size must lie between 0.05 and 1500 MiB")
    started = time.monotonic()
    maker = Maker(args.seed)
    parent, names, bodies, counts, children = maker.grow(int(args.size * 1024 * 1024))
    blocks, where = maker.blocks(names, bodies, counts)
    if len(blocks) > 0x7FFF:
        sys.exit("make_hive.py: too many data blocks for the format's readers")
    area = maker.key_area(names, children, parent, where)
    header = struct.pack("<4sHHIIHHIII", b"CREG", 0, 1, 0x20 + len(area), 0, len(blocks), 0x0020, 0x00010000, 0, 0)
    with open(args.out, "wb") as f:
        f.write(header)
        f.write(area)
        for b in blocks:
            f.write(b)
        size = f.tell()
    bad = sum(1 for name in names[1:] if has_double_byte(name))
    print("keys=%d values=%d good=%d bad=%d blocks=%d bytes=%d seconds=%.1f" % (
        len(names), sum(counts), len(names) - 1 - bad, bad, len(blocks), size, time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
