#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# `sabrel-hive rebuild` over three disk images in one run, as a collector
# would, and once over a folder tree:
#   me     Windows Me on a FAT16 image without a partition table, its user's
#          profile folder ending in a 0x5C trail byte; archive backups, the
#          restart carried out;
#   98     Windows 98 on the FAT32 second partition of an image whose first
#          partition is another FAT volume; copy backups, the swap scheduled;
#   ghost  ghost keys, which the wizard refuses, on a dynamic VHD;
#   tree   Windows 98 in a folder tree.
# Images are made by mkfs.fat, sfdisk, mcopy and qemu-img and read back by
# mtools, fsck.fat and qemu-img. Asserts the exit codes, the JSON records, the
# files, and that libcreg reads every rebuilt hive with exactly the original's
# keys and values.
# Usage: rebuild_cli_test.sh SABREL_HIVE LIBCREG_DUMP
set -euo pipefail
HIVE_TOOL=$1
DUMP=$2
PY=/usr/bin/python3
"$PY" -c 'import pycreg' 2>/dev/null || { echo "SKIP: python3-libcreg is not installed"; exit 77; }
for tool in mkfs.fat mcopy sfdisk qemu-img fsck.fat; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export SABREL_RUNTIME_DIR="$WORK/run" MTOOLSRC="$WORK/mtoolsrc" MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
mkdir -p "$SABREL_RUNTIME_DIR"
echo "DEFAULT_CODEPAGE=932" >"$MTOOLSRC"
unset SABREL_IMAGE SABREL_WINDIR SABREL_PARTITION

fail() { echo "FAIL: $*" >&2; exit 1; }

"$HIVE_TOOL" make-machine --me --user 'ソ表' --profile 'ソ表' --profile 'Taro' --keys 300 \
  "$WORK/me" >/dev/null
"$HIVE_TOOL" make-machine --profile '予定' --seed 2 --keys 200 "$WORK/98" >/dev/null
"$HIVE_TOOL" make-machine --ghosts 3 --seed 3 --keys 200 "$WORK/ghost" >/dev/null
cp -a "$WORK/98" "$WORK/tree"

# me: FAT16 without a partition table.
mkfs.fat -C -F 16 "$WORK/me.img" 20480 >/dev/null
mcopy -s -i "$WORK/me.img" "$WORK/me/WINDOWS" ::/
# 98: FAT16 data partition, then the FAT32 partition with Windows (at 17 MiB).
P2=$((34816 * 512))
truncate -s 80M "$WORK/98.img"
printf 'label: dos\nstart=2048, size=32768, type=6\nstart=34816, type=c\n' | sfdisk -q "$WORK/98.img"
mkfs.fat -F 16 --offset 2048 "$WORK/98.img" 16384 >/dev/null 2>&1
mkfs.fat -F 32 -s 1 --offset 34816 "$WORK/98.img" 64512 >/dev/null 2>&1
mcopy -s -i "$WORK/98.img@@$P2" "$WORK/98/WINDOWS" ::/
# ghost: a dynamic VHD.
mkfs.fat -C -F 16 "$WORK/ghost.raw" 16384 >/dev/null
mcopy -s -i "$WORK/ghost.raw" "$WORK/ghost/WINDOWS" ::/
qemu-img convert -f raw -O vpc -o subformat=dynamic,force_size=on "$WORK/ghost.raw" "$WORK/ghost.vhd"

run() {  # expected-rc name args...
  local want=$1 name=$2 rc=0
  shift 2
  "$HIVE_TOOL" rebuild "$@" >"$WORK/$name.out" 2>"$WORK/$name.err" || rc=$?
  [ "$rc" = "$want" ] || { cat "$WORK/$name.err" >&2; fail "$name: exit $rc, expected $want"; }
}

run 0 me --image "$WORK/me.img" --targets all --backup archive --apply --json
run 0 98 --image "$WORK/98.img" --backup copy --json
run 1 ghost --image "$WORK/ghost.vhd" --targets all --backup none --json
run 0 tree --windir "$WORK/tree/WINDOWS" --backup copy --json

# fsck.fat finds every volume clean after the runs.
dd if="$WORK/98.img" of="$WORK/98.p2" bs=512 skip=34816 status=none
qemu-img convert -f vpc -O raw "$WORK/ghost.vhd" "$WORK/ghost.back"
for v in me.img 98.p2 ghost.back; do
  fsck.fat -n "$WORK/$v" >"$WORK/fsck.txt" 2>&1 || { cat "$WORK/fsck.txt" >&2; fail "fsck.fat: $v"; }
done

# The records, against the files the runs left.
"$PY" - "$WORK" "$DUMP" <<'PY'
import json, os, subprocess, sys, tempfile
work, dump = sys.argv[1], sys.argv[2]
volumes = {"me": work + "/me.img", "98": work + "/98.p2", "ghost": work + "/ghost.back"}

def fail(msg):
    sys.exit("FAIL: " + msg)

def tree(machine, dos):
    assert dos.upper().startswith("C:\\"), dos
    return os.path.join(work, machine, *dos[3:].split("\\"))

def read(machine, dos):
    """A file as the run left it: through mtools on an image, else the host."""
    if machine not in volumes:
        with open(tree(machine, dos), "rb") as f:
            return f.read()
    r = subprocess.run(["mtype", "-i", volumes[machine], "::/" + dos[3:].replace("\\", "/")],
                       capture_output=True)
    if r.returncode != 0: fail("mtools cannot read %s from %s: %s" % (dos, machine, r.stderr))
    return r.stdout

def original(machine, dos):
    with open(tree("98" if machine == "tree" else machine, dos), "rb") as f:
        return f.read()

def libcreg(data):
    with tempfile.NamedTemporaryFile(dir=work) as f:
        f.write(data)
        f.flush()
        r = subprocess.run([sys.executable, dump, f.name], capture_output=True)
    if r.returncode != 0: fail("libcreg rejects a hive: %s" % r.stderr)
    return r.stdout

def records(name):
    return [json.loads(l) for l in open(os.path.join(work, name + ".out"), encoding="utf-8")]

# Windows Me: every hive, the 0x5C profile among them, replaced by its rebuilt
# form, which libcreg reads as the original; the archives are there.
me = records("me")
want = ["CLASSES.DAT", "Profiles\\Taro\\USER.DAT", "Profiles\\ソ表\\USER.DAT", "SYSTEM.DAT",
        "USER.DAT"]
if sorted(r["hive"] for r in me) != want: fail("Me records %s" % [r["hive"] for r in me])
for r in me:
    if r["status"] != "replaced": fail("Me %s: %s" % (r["hive"], r["status"]))
    if not r["size_after"] < r["size_before"]: fail("Me %s did not shrink" % r["hive"])
    b, a = r["before"], r["after"]
    if (b["good"], b["bad"], b["ghost"]) != (a["good"], a["bad"], a["ghost"]) or b["good"] == 0:
        fail("Me %s counts %s -> %s" % (r["hive"], b, a))
    if not (r["backup"] or "").endswith("BU.EXE"): fail("Me backup %s" % r["backup"])
    read("me", r["backup"])
    hive = read("me", r["path"])
    if len(hive) != r["size_after"]: fail("Me size of " + r["path"])
    if libcreg(hive) != libcreg(original("me", r["path"])):
        fail("libcreg reads Me %s differently after the rebuild" % r["hive"])
read("me", "C:\\WINDOWS\\HELP\\SBRCOVER.BAT")
if b"WININIT.INI" in subprocess.run(["mdir", "-b", "-i", volumes["me"], "::/WINDOWS"],
                                    capture_output=True).stdout.upper():
    fail("the restart left WININIT.INI")

# Windows 98, image and tree: the dialog's own choice (the logged-on user has
# no profile, so the system hives), rebuilt beside the live ones, scheduled.
for name in ("98", "tree"):
    recs = records(name)
    if sorted(r["hive"] for r in recs) != ["SYSTEM.DAT", "USER.DAT"]:
        fail("%s records %s" % (name, [r["hive"] for r in recs]))
    wininit = read(name, "C:\\WINDOWS\\WININIT.INI")
    for r in recs:
        if r["status"] != "rebuilt" or not r["rebuilt"].endswith(".CLN"):
            fail("%s %s: %s %s" % (name, r["hive"], r["status"], r["rebuilt"]))
        if read(name, r["path"]) != original(name, r["path"]):
            fail("%s live hive %s changed" % (name, r["hive"]))
        if not r["backup"] or read(name, r["backup"]) != original(name, r["path"]):
            fail("%s backup %s differs from the hive" % (name, r["backup"]))
        if libcreg(read(name, r["rebuilt"])) != libcreg(original(name, r["path"])):
            fail("libcreg reads %s %s differently after the rebuild" % (name, r["hive"]))
        if ("=" + r["rebuilt"].upper()).encode("cp932") not in wininit:
            fail("%s WININIT.INI lacks %s" % (name, r["rebuilt"]))

# Ghost keys: SYSTEM.DAT fails with the wizard's message, the rest is left
# alone, and no hive changed.
g = records("ghost")
if g[0]["hive"] != "SYSTEM.DAT" or g[0]["status"] != "failed" or "幽霊" not in g[0]["message"]:
    fail("ghost record %s" % g[0])
if g[0]["before"]["ghost"] != 3 or g[0]["after"] is not None: fail("ghost counts %s" % g[0])
if len(g) < 2 or any(r["status"] != "left alone" or r["size_after"] is not None for r in g[1:]):
    fail("ghost: hives after the failure %s" % g[1:])
for r in g:
    if read("ghost", r["path"]) != original("ghost", r["path"]):
        fail("ghost: %s changed" % r["path"])
PY
grep -q '幽霊' "$WORK/ghost.err" || fail "the ghost message is not on standard error"
# The same refusal where the user reads English.
SABREL_LANG=en run 1 ghost --image "$WORK/ghost.vhd" --targets all --backup none
grep -q '3 ghost keys were found' "$WORK/ghost.err" || fail "the English ghost message: $(cat "$WORK/ghost.err")"

# Usage and refusals: exit 2 for the command line, 1 for an image without
# Windows on the partition asked for.
expect() {  # rc args...
  local want=$1 rc=0
  shift
  "$HIVE_TOOL" rebuild "$@" >/dev/null 2>&1 || rc=$?
  [ "$rc" = "$want" ] || fail "rebuild $*: exit $rc, expected $want"
}
expect 2 --windir "$WORK/tree/WINDOWS" --backup zip
expect 2 --windir "$WORK/tree/WINDOWS" --targets 'Profiles\Nobody\USER.DAT'
expect 2 --image "$WORK/98.img" --windir "$WORK/tree/WINDOWS"
expect 1 --image "$WORK/98.img" --partition 1
echo "rebuild over three images and a folder: ok"
