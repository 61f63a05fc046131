#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Drives the real program `sabrel` on a demo Windows 98 machine under a virtual
# display, by window coordinates, as a user would, and checks the files on
# disk afterwards:
#   1. a whole successful run (rebuild and back up, then restart): screenshots
#      of page "00", the options dialog on each of its six tabs, a frame of
#      page "01", page "03" and the results report; after the restart the
#      rebuilt hives have taken the live ones' places;
#   2. the warning when no hive is selected, then a rebuild-only run of
#      USER.DAT that is withdrawn: the rebuilt file is deleted, the
#      replacement entries withdrawn, and the hives are untouched.
# Usage: wizard_test.sh SABREL SABREL_HIVE ARTIFACT_DIR   (DISPLAY must be set)
set -euo pipefail
SABREL=$1
HIVE_TOOL=$2
OUT=$3
source "$(dirname "$0")/drive.sh"
need_tools xdotool import convert
rm -rf "$OUT"
mkdir -p "$OUT"

click() {  # window x y
  xdotool mousemove --window "$1" "$2" "$3" click 1
  sleep 0.15
}

bright() {  # name w h x y what
  local b
  b=$(brightness "$1" "$2" "$3" "$4" "$5")
  awk -v b="$b" 'BEGIN { exit !(b > 0.02) }' || fail "$6 is not drawn (brightness $b in $1.png)"
}

dark() {  # name w h x y what
  local b
  b=$(brightness "$1" "$2" "$3" "$4" "$5")
  awk -v b="$b" 'BEGIN { exit !(b < 0.01) }' || fail "$6 should not be drawn (brightness $b in $1.png)"
}

# Window coordinates of the wizard's controls (notebook at 8, 80) and of the
# options dialog's.
BT_OK="144 232"; BT_OPTION="264 260"; BT_FIN1="264 216"
LABEL7="172 208"; BT_REBOOT="264 240"; BT_ABORT="461 96"
OPT_OK="320 332"; RB_REBLD_ONLY="80 271"; ITEM_SYSTEM="100 43"; ITEM_USER="100 61"
TABS=("40 180" "120 180" "210 180" "50 201" "150 201" "250 201")
REPORT_OK="268 284"

# --- 1. A whole successful run ------------------------------------------------
M1="$WORK/machine1"
"$HIVE_TOOL" make-machine --keys 100000 "$M1" >/dev/null
W1="$M1/WINDOWS"
cp "$W1/SYSTEM.DAT" "$WORK/SYSTEM.orig"
start "$M1"
shot "$MAIN" page00
bright page00 300 20 60 112 "page 00's first line"
# The window: its caption, a fixed size, no title-bar buttons, and Escape (the
# close command) refused.
[ "$(xdotool getwindowname "$MAIN")" = "Sabrel <Quillmere> - $W1" ] || fail "wrong caption"
if command -v xprop >/dev/null; then
  hints=$(xprop -id "$MAIN" WM_NORMAL_HINTS _MOTIF_WM_HINTS)
  grep -q 'minimum size: 531 by 292' <<<"$hints" || fail "no fixed size: $hints"
  grep -q 'maximum size: 531 by 292' <<<"$hints" || fail "no fixed size: $hints"
  grep -q '_MOTIF_WM_HINTS(_MOTIF_WM_HINTS) = 0x3, 0x4, 0xa' <<<"$hints" || fail "title-bar buttons asked for: $hints"
fi
xdotool mousemove --window "$MAIN" 20 20 key Escape
sleep 0.3
window_of SabrelForm1 >/dev/null || fail "Escape closed the wizard"

click "$MAIN" $BT_OPTION
OPT=$(window_of SabrelForm2) || fail "the options dialog did not open"
sleep 0.2
for i in 0 1 2 3 4 5; do
  click "$OPT" ${TABS[$i]}
  shot "$OPT" "options_tab$((i + 1))"
done
click "$OPT" $OPT_OK
gone SabrelForm2 || fail "the options dialog did not close"

click "$MAIN" $BT_OK
shot_until_bright "$MAIN" page01 64 64 224 112 "the animation frame on page 01"
bright page01 200 16 160 208 "page 01's text"

# Page "03": the completion text at once, the picture after ten ticks.
# The worker writes USER.DAT's entry last.
for _ in $(seq 600); do
  grep -q 'USER.CLN' "$W1/WININIT.INI" 2>/dev/null && break
  sleep 0.05
done
# The picture and the end-of-run button appear ten ticks after page "03",
# the withdraw button ten ticks later.
shot_until_bright "$MAIN" page03 300 20 110 232 "the end-of-run button on page 03"
bright page03 64 64 224 112 "the completion picture on page 03"
sleep 1.6
shot "$MAIN" page03
bright page03 100 14 410 90 "the withdraw button on page 03"
bright page03 200 16 112 200 "page 03's completion text"

xdotool mousemove --window "$MAIN" $LABEL7 click --repeat 2 --delay 60 1
REPORT=$(window_of SabrelForm3) || fail "the results report did not open"
sleep 0.3
shot "$REPORT" report
click "$REPORT" $REPORT_OK
gone SabrelForm3 || fail "the results report did not close"

[ -f "$W1/SYSTEM.CLN" ] || fail "no rebuilt SYSTEM.CLN"
[ -f "$W1/USER.CLN" ] || fail "no rebuilt USER.CLN"
CLN_SIZE=$(stat -c %s "$W1/SYSTEM.CLN")
ls "$W1" | grep -Eq '^SYSTEM(BU\.EXE|\.BEF)$' || fail "no backup of SYSTEM.DAT: $(ls "$W1")"
[ -f "$W1/HELP/SBRCOVER.BAT" ] || fail "no restore batch file"

click "$MAIN" $BT_REBOOT
wait_end
# The restart carried out WININIT.INI: the rebuilt hive is the live one now.
check_restarted "$W1"
[ "$(stat -c %s "$W1/SYSTEM.DAT")" = "$CLN_SIZE" ] || fail "SYSTEM.DAT is not the rebuilt file"

# --- 2. A rebuild-only run, withdrawn ---------------------------------------------
M2="$WORK/machine2"
"$HIVE_TOOL" make-machine "$M2" >/dev/null
W2="$M2/WINDOWS"
sum_before=$(cd "$W2" && md5sum SYSTEM.DAT USER.DAT)
start "$M2"
# Nothing selected: the warning, and OK on page "00" does nothing.
click "$MAIN" $BT_OPTION
OPT=$(window_of SabrelForm2) || fail "the options dialog did not open"
sleep 0.2
click "$OPT" $ITEM_SYSTEM
click "$OPT" $ITEM_USER
click "$OPT" $OPT_OK
BOX=$(window_of SabrelBox) || fail "no warning when nothing is selected"
sleep 0.2
shot "$BOX" warning_nothing_selected
eval "$(xdotool getwindowgeometry --shell "$BOX")"
click "$BOX" $((WIDTH / 2)) $((HEIGHT - 29))
gone SabrelBox || fail "the warning did not close"
gone SabrelForm2 || fail "the options dialog did not close"
click "$MAIN" $BT_OK
sleep 0.5
grep -q '=' "$W2/WININIT.INI" 2>/dev/null && fail "a run started with nothing selected"
# Only USER.DAT, rebuild only.
click "$MAIN" $BT_OPTION
OPT=$(window_of SabrelForm2) || fail "the options dialog did not open again"
sleep 0.2
click "$OPT" $ITEM_USER
click "$OPT" ${TABS[0]}
click "$OPT" $RB_REBLD_ONLY
shot "$OPT" options_user_only
click "$OPT" $OPT_OK
gone SabrelForm2 || fail "the options dialog did not close"
click "$MAIN" $BT_OK
for _ in $(seq 200); do
  [ -f "$W2/USER.CLN" ] && grep -q 'USER.CLN' "$W2/WININIT.INI" 2>/dev/null && break
  sleep 0.05
done
[ -f "$W2/USER.CLN" ] || fail "USER.DAT was not rebuilt"
[ ! -e "$W2/SYSTEM.CLN" ] || fail "SYSTEM.DAT was rebuilt though not selected"
# The withdraw button appears 2.5 s after page "03"; until then a click at
# its place meets nothing.
BOX=""
for _ in $(seq 40); do
  click "$MAIN" $BT_ABORT
  BOX=$(xdotool search --onlyvisible --class '^SabrelBox$' 2>/dev/null | head -n1 || true)
  [ -n "$BOX" ] && break
  sleep 0.35
done
[ -n "$BOX" ] || fail "no question before deleting the rebuilt files"
sleep 0.2
shot "$BOX" confirm_withdraw
eval "$(xdotool getwindowgeometry --shell "$BOX")"
# "はい(&Y)" is the left one of the two buttons centred at the bottom.
click "$BOX" $((WIDTH / 2 - 48)) $((HEIGHT - 29))
gone SabrelBox || fail "the question did not close"
sleep 0.3
shot "$MAIN" page02
bright page02 200 16 168 136 "page 02's text"
click "$MAIN" $BT_FIN1
wait_end

ls "$W2" | grep -q '\.CLN$' && fail "rebuilt files left after the withdrawal: $(ls "$W2")"
ls "$W2" | grep -Eq '\.BEF$|BU\.EXE$' && fail "a rebuild-only run made backups: $(ls "$W2")"
grep -q '=' "$W2/WININIT.INI" 2>/dev/null && fail "replacement entries left: $(cat "$W2/WININIT.INI")"
[ "$(cd "$W2" && md5sum SYSTEM.DAT USER.DAT)" = "$sum_before" ] || fail "the hives changed"

echo "PASS: screenshots in $OUT"
