#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# `sabrel-hive rebuild` over three installations in one run, as a collector
# would: a Windows Me machine whose user's profile folder ends in a 0x5C trail
# byte (archive backups, the restart carried out), a Windows 98 machine (copy
# backups, the swap only scheduled), and one with ghost keys that the wizard
# refuses. Asserts the exit codes, the JSON records, the files on disk, and
# that libcreg reads every rebuilt hive with exactly the original's keys and
# values.
# Usage: rebuild_cli_test.sh SABREL_HIVE LIBCREG_DUMP
set -euo pipefail
HIVE_TOOL=$1
DUMP=$2
PY=/usr/bin/python3
"$PY" -c 'import pycreg' 2>/dev/null || { echo "SKIP: python3-libcreg is not installed"; exit 77; }
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export SABREL_RUNTIME_DIR="$WORK/run"
mkdir -p "$SABREL_RUNTIME_DIR"

fail() { echo "FAIL: $*" >&2; exit 1; }

"$HIVE_TOOL" make-machine --me --user 'ソ表' --profile 'ソ表' --profile 'Taro' --keys 300 \
  "$WORK/me" >/dev/null
"$HIVE_TOOL" make-machine --profile '予定' --seed 2 --keys 200 "$WORK/98" >/dev/null
"$HIVE_TOOL" make-machine --ghosts 3 --seed 3 --keys 200 "$WORK/ghost" >/dev/null
# Each installation's files as they were, to compare with afterwards.
for m in me 98 ghost; do cp -a "$WORK/$m" "$WORK/$m.orig"; done

run() {  # expected-rc name args...
  local want=$1 name=$2 rc=0
  shift 2
  "$HIVE_TOOL" rebuild --windir "$WORK/$name/WINDOWS" "$@" >"$WORK/$name.out" \
    2>"$WORK/$name.err" || rc=$?
  [ "$rc" = "$want" ] || { cat "$WORK/$name.err" >&2; fail "$name: exit $rc, expected $want"; }
}

run 0 me --targets all --backup archive --apply --json
run 0 98 --backup copy --json
run 1 ghost --targets all --backup none --json

# The records, against the files on disk.
"$PY" - "$WORK" "$DUMP" <<'PY'
import json, os, subprocess, sys
work, dump = sys.argv[1], sys.argv[2]

def host(machine, dos):
    assert dos.upper().startswith("C:\\"), dos
    return os.path.join(work, machine, *dos[3:].split("\\"))

def libcreg(path):
    r = subprocess.run([sys.executable, dump, path], capture_output=True)
    assert r.returncode == 0, (path, r.stderr)
    return r.stdout

def records(machine):
    return [json.loads(l) for l in open(os.path.join(work, machine + ".out"), encoding="utf-8")]

def fail(msg):
    sys.exit("FAIL: " + msg)

# Windows Me: every hive, the 0x5C profile among them, replaced by its rebuilt
# form, which libcreg reads as the original; the archives are there.
me = records("me")
hives = sorted(r["hive"] for r in me)
want = sorted(["SYSTEM.DAT", "USER.DAT", "CLASSES.DAT", "Profiles\\Taro\\USER.DAT",
               "Profiles\\ソ表\\USER.DAT"])
if hives != want: fail("Me records %s" % hives)
for r in me:
    if r["status"] != "replaced": fail("Me %s: %s" % (r["hive"], r["status"]))
    if not r["size_after"] < r["size_before"]: fail("Me %s did not shrink" % r["hive"])
    b, a = r["before"], r["after"]
    if (b["good"], b["bad"], b["ghost"]) != (a["good"], a["bad"], a["ghost"]) or b["good"] == 0:
        fail("Me %s counts %s -> %s" % (r["hive"], b, a))
    if not r["backup"] or not r["backup"].endswith("BU.EXE"): fail("Me backup %s" % r["backup"])
    if not os.path.isfile(host("me", r["backup"])): fail("missing " + r["backup"])
    if os.path.getsize(host("me", r["path"])) != r["size_after"]: fail("Me size of " + r["path"])
    if libcreg(host("me", r["path"])) != libcreg(host("me.orig", r["path"])):
        fail("libcreg reads Me %s differently after the rebuild" % r["hive"])
bat = os.path.join(work, "me", "WINDOWS", "HELP", "SBRCOVER.BAT")
if not os.path.isfile(bat): fail("no SBRCOVER.BAT on the Me machine")
if os.path.exists(os.path.join(work, "me", "WINDOWS", "WININIT.INI")):
    fail("the restart left WININIT.INI")

# Windows 98: the dialog's own choice (the logged-on user's profile is not
# there, so the system hives), rebuilt beside the live ones and scheduled.
r98 = records("98")
if sorted(r["hive"] for r in r98) != ["SYSTEM.DAT", "USER.DAT"]:
    fail("98 records %s" % [r["hive"] for r in r98])
wininit = open(os.path.join(work, "98", "WINDOWS", "WININIT.INI"), "rb").read()
for r in r98:
    if r["status"] != "rebuilt": fail("98 %s: %s" % (r["hive"], r["status"]))
    if not r["rebuilt"].endswith(".CLN"): fail("98 rebuilt %s" % r["rebuilt"])
    if open(host("98", r["path"]), "rb").read() != open(host("98.orig", r["path"]), "rb").read():
        fail("98 live hive %s changed" % r["hive"])
    if open(host("98", r["backup"]), "rb").read() != open(host("98.orig", r["path"]), "rb").read():
        fail("98 backup %s differs from the hive" % r["backup"])
    if libcreg(host("98", r["rebuilt"])) != libcreg(host("98.orig", r["path"])):
        fail("libcreg reads 98 %s differently after the rebuild" % r["hive"])
    if ("=" + r["rebuilt"].upper()).encode("cp932") not in wininit:
        fail("WININIT.INI lacks %s" % r["rebuilt"])

# Ghost keys: SYSTEM.DAT fails with the wizard's message, the rest is left
# alone, and no file of the installation changed.
g = records("ghost")
if g[0]["hive"] != "SYSTEM.DAT" or g[0]["status"] != "failed" or "幽霊" not in g[0]["message"]:
    fail("ghost record %s" % g[0])
if g[0]["before"]["ghost"] != 3 or g[0]["after"] is not None: fail("ghost counts %s" % g[0])
if any(r["status"] != "left alone" or r["size_after"] is not None for r in g[1:]):
    fail("ghost: hives after the failure %s" % g[1:])
for top, _, files in os.walk(os.path.join(work, "ghost.orig")):
    for f in files:
        a = os.path.join(top, f)
        b = os.path.join(work, "ghost", os.path.relpath(a, os.path.join(work, "ghost.orig")))
        if open(a, "rb").read() != open(b, "rb").read(): fail("ghost: %s changed" % b)
PY
grep -q '幽霊' "$WORK/ghost.err" || fail "the ghost message is not on standard error"

# Usage: exit 2, and nothing touched.
rc=0; "$HIVE_TOOL" rebuild --windir "$WORK/98/WINDOWS" --backup zip 2>/dev/null || rc=$?
[ "$rc" = 2 ] || fail "--backup zip: exit $rc"
rc=0; "$HIVE_TOOL" rebuild --windir "$WORK/98/WINDOWS" --targets 'Profiles\Nobody\USER.DAT' \
  2>/dev/null || rc=$?
[ "$rc" = 2 ] || fail "unknown target: exit $rc"
echo "rebuild over three installations: ok"
