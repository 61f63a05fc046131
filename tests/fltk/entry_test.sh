#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# How the program finds its installation, under a virtual display: a drive
# root given as argument (MSDOS.SYS names the Windows folder), a disk image
# refused with a message, and with nothing given the chooser: a wrong choice
# gets its message and the chooser again, a typed path opens the wizard on
# that installation with it in the title, and the recent list offers it next.
# Usage: entry_test.sh SABREL SABREL_HIVE   (DISPLAY must be set)
set -euo pipefail
SABREL=$1
HIVE_TOOL=$2
source "$(dirname "$0")/drive.sh"
need_tools xdotool
unset SABREL_WINDIR
export XDG_CONFIG_HOME="$WORK/config"
ended() {  # waits up to 10 s for the program; prints its status
  for _ in $(seq 200); do
    if ! kill -0 "$PID" 2>/dev/null; then
      local rc=0
      wait "$PID" || rc=$?
      PID=""
      echo "$rc"
      return 0
    fi
    sleep 0.05
  done
  return 1
}
press() {  # window keys...: focuses the window, then types through XTEST
  local w=$1
  shift
  sleep 0.3
  xdotool windowfocus --sync "$w" 2>/dev/null || true
  xdotool "$@"
}
quit() { kill "$PID"; wait "$PID" 2>/dev/null || true; PID=""; }

# A drive root with a long-named Windows folder; MSDOS.SYS names it in
# another case, in code page 932 (its name holds 0x5C trail bytes).
ROOT="$WORK/ソ表能 root"
"$HIVE_TOOL" make-machine --keys 200 "$WORK/m" >/dev/null
mkdir -p "$ROOT"
mv "$WORK/m/WINDOWS" "$ROOT/Windows 十予"
[ -n "$(ls "$ROOT/Windows 十予" | grep -ix win.com)" ] || : >"$ROOT/Windows 十予/WIN.COM"
printf '[Paths]\r\nWinDir=C:\\%s\r\n' "$(printf 'WINDOWS 十予' | iconv -t CP932)" >"$ROOT/MSDOS.SYS"
WINDIR="$ROOT/Windows 十予"

# 1. The drive root as argument opens the wizard on that installation.
"$SABREL" "$ROOT" >"$LOG" 2>&1 &
PID=$!
MAIN=$(window_of SabrelForm1) || fail "no wizard for a drive root"
title=$(xdotool getwindowname "$MAIN")
[ "$title" = "Sabrel <Quillmere> - $WINDIR" ] || fail "title: $title"
quit

# 2. An image is refused with a message; the program ends.
head -c 4096 /dev/zero >"$WORK/disk.img"
"$SABREL" "$WORK/disk.img" >"$LOG" 2>&1 &
PID=$!
BOX=$(window_of Sabrel) || fail "no message for an image"
grep -q "disk.img" "$LOG" || fail "the image's message does not name it"
press "$BOX" key Return
[ "$(ended)" = 1 ] || fail "an image argument did not end the program with status 1"

# 3. Nothing given: the chooser. A wrong choice first, then the installation.
mkdir "$WORK/not windows"
"$SABREL" >"$LOG" 2>&1 &
PID=$!
CH=$(window_of SabrelChooser) || fail "no chooser"
press "$CH" type "$WORK/not windows"
press "$CH" key Return
BOX=$(window_of Sabrel) || fail "no message for a folder that is not an installation"
press "$BOX" key Return
sleep 0.3
CH=$(window_of SabrelChooser) || fail "no chooser after the wrong choice"
press "$CH" key ctrl+a
# xdotool cannot type Japanese reliably: an ASCII link leads to the root.
ln -s "$ROOT" "$WORK/link"
press "$CH" type "$WORK/link"
press "$CH" key Return
MAIN=$(window_of SabrelForm1) || fail "no wizard after the chooser"
[ "$(xdotool getwindowname "$MAIN")" = "Sabrel <Quillmere> - $WINDIR" ] || fail "title after the chooser"
quit
[ "$(head -n1 "$XDG_CONFIG_HOME/sabrel/recent")" = "$WINDIR" ] || fail "the recent list lacks the installation"

# 4. Next time the chooser offers it first: Open takes it.
"$SABREL" >"$LOG" 2>&1 &
PID=$!
CH=$(window_of SabrelChooser) || fail "no chooser the second time"
press "$CH" key Return
MAIN=$(window_of SabrelForm1) || fail "the recent installation did not open"
quit
[ "$(wc -l <"$XDG_CONFIG_HOME/sabrel/recent")" = 1 ] || fail "the recent list holds a duplicate"

# 5. Cancel ends the program.
"$SABREL" >"$LOG" 2>&1 &
PID=$!
CH=$(window_of SabrelChooser) || fail "no chooser the third time"
press "$CH" key Escape
[ "$(ended)" = 0 ] || fail "Cancel did not end the program"
echo PASS
