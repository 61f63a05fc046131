#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Drives the real program `sabrel` by the keyboard alone (xdotool key, no
# clicks) on demo Windows 98 machines under a virtual display. The only
# pointer-free extra is giving the window the keyboard, which a window manager
# would do:
#   1. a whole run: the focus box on page "00" and in the options dialog
#      (screenshots), Escape and Alt+F4 refused, Tab, Ctrl+Tab, then OK,
#      and the restart on page "03";
#   2. nothing selected (space in the list, Return on the warning, Tab
#      passes the disabled OK by), then a rebuild-only run of USER.DAT
#      chosen with space and the arrows, withdrawn with Y.
# Usage: keyboard_test.sh SABREL SABREL_HIVE ARTIFACT_DIR   (DISPLAY must be set)
set -euo pipefail
SABREL=$1
HIVE_TOOL=$2
OUT=$3
source "$(dirname "$0")/drive.sh"
need_tools xdotool import convert compare
rm -rf "$OUT"
mkdir -p "$OUT"

focus() {  # window: what a window manager does when a window opens or comes back
  xdotool windowfocus --sync "$1"
  sleep 0.2
}

key() {
  xdotool key "$@"
  sleep 0.2
}

# The number of pixels that differ in one part of two screenshots.
differ() {  # a b w h x y
  convert "$OUT/$1.png" -crop "$3x$4+$5+$6" +repage "$WORK/a.png"
  convert "$OUT/$2.png" -crop "$3x$4+$5+$6" +repage "$WORK/b.png"
  compare -metric AE "$WORK/a.png" "$WORK/b.png" null: 2>&1 || true
}

changed() {  # a b w h x y what
  local n
  n=$(differ "$@")
  [ "${n%%.*}" -gt 20 ] 2>/dev/null || fail "$7 (only $n pixels differ between $1.png and $2.png)"
}


# Window areas: the wizard's OK button (page "00"), the options dialog's list
# and tab strip.
OK_AREA="97 33 96 216"; CANCEL_AREA="97 33 336 216"; LIST_AREA="329 105 16 32"; STRIP_AREA="329 50 16 168"

# --- 1. A whole run -------------------------------------------------------------
M1="$WORK/machine1"
"$HIVE_TOOL" make-machine "$M1" >/dev/null
W1="$M1/WINDOWS"
start "$M1"
focus "$MAIN"
shot "$MAIN" kb_page00_focus
# Neither Escape nor Alt+F4 closes the wizard.
key Escape
key alt+F4
window_of SabrelForm1 >/dev/null || fail "the keyboard closed the wizard"
key Tab
shot "$MAIN" kb_page00_tab
changed kb_page00_focus kb_page00_tab $OK_AREA "no focus box on OK, or Tab did not move it"
key shift+Tab
shot "$MAIN" kb_page00_back
[ "$(differ kb_page00_focus kb_page00_back $OK_AREA)" = 0 ] || fail "Shift+Tab did not bring the focus back to OK"

# The options dialog: the list first, then the tab strip; Ctrl+Tab turns pages.
key Tab
key Return
OPT=$(window_of SabrelForm2) || fail "Return on the options button did not open the dialog"
focus "$OPT"
shot "$OPT" kb_options_list
key Tab
shot "$OPT" kb_options_strip
changed kb_options_list kb_options_strip $LIST_AREA "Tab left no trace in the list"
changed kb_options_list kb_options_strip $STRIP_AREA "no focus box on the tab strip"
key ctrl+Tab
shot "$OPT" kb_options_page2
changed kb_options_strip kb_options_page2 $STRIP_AREA "Ctrl+Tab did not turn the page"
key ctrl+shift+Tab
shot "$OPT" kb_options_page1
[ "$(differ kb_options_strip kb_options_page1 $STRIP_AREA)" = 0 ] || fail "Ctrl+Shift+Tab did not turn the page back"
# Back past the list to OK, which closes the dialog.
key shift+Tab shift+Tab
key Return
gone SabrelForm2 || fail "Return on OK did not close the options dialog"
focus "$MAIN"
key shift+Tab
key Return
for _ in $(seq 600); do
  grep -q 'USER.CLN' "$W1/WININIT.INI" 2>/dev/null && break
  sleep 0.05
done
# The restart button appears on page "03" and takes the focus.
shot_until_bright "$MAIN" kb_page03 300 20 110 232 "the end-of-run button on page 03"
sleep 0.3
key Return
wait_end
check_restarted "$W1"

# --- 2. Nothing selected, then a rebuild-only run withdrawn ----------------------
M2="$WORK/machine2"
"$HIVE_TOOL" make-machine "$M2" >/dev/null
W2="$M2/WINDOWS"
sum_before=$(cd "$W2" && md5sum SYSTEM.DAT USER.DAT)
start "$M2"
focus "$MAIN"
key Tab
key Return
OPT=$(window_of SabrelForm2) || fail "the options dialog did not open"
focus "$OPT"
# Space toggles the entry under the caret: both off.
key Up Up
key space
key Down
key space
shot "$OPT" kb_options_none
key shift+Tab
key Return
BOX=$(window_of SabrelBox) || fail "no warning when nothing is selected"
focus "$BOX"
key Return
gone SabrelBox || fail "Return did not answer the warning"
gone SabrelForm2 || fail "the options dialog did not close"
focus "$MAIN"
# With nothing selected OK is disabled: Shift+Tab passes it by to Cancel, and
# Tab comes back round to the options button.
shot "$MAIN" kb_nothing_selected
key shift+Tab
shot "$MAIN" kb_nothing_cancel
changed kb_nothing_selected kb_nothing_cancel $CANCEL_AREA "Shift+Tab did not skip the disabled OK"
key Tab
key Return
OPT=$(window_of SabrelForm2) || fail "the options dialog did not open again"
focus "$OPT"
key Up Up Down
key space
key Tab Tab
key Down
shot "$OPT" kb_options_user_only
# Past the last operation to OK.
key Tab Tab
key Return
gone SabrelForm2 || fail "the options dialog did not close"
focus "$MAIN"
key shift+Tab
key Return
for _ in $(seq 200); do
  [ -f "$W2/USER.CLN" ] && grep -q 'USER.CLN' "$W2/WININIT.INI" 2>/dev/null && break
  sleep 0.05
done
[ -f "$W2/USER.CLN" ] || fail "USER.DAT was not rebuilt"
[ ! -e "$W2/SYSTEM.CLN" ] || fail "SYSTEM.DAT was rebuilt though not selected"
ls "$W2" | grep -Eq '\.BEF$|BU\.EXE$' && fail "the arrows did not choose rebuild only: backups made"
# The withdraw button comes last; Tab reaches it once it is there.
shot_until_bright "$MAIN" kb_page03_withdraw 100 14 410 90 "the withdraw button on page 03"
sleep 0.3
key Tab
key Return
BOX=$(window_of SabrelBox) || fail "no question before deleting the rebuilt files"
focus "$BOX"
shot "$BOX" kb_confirm_withdraw
key y
gone SabrelBox || fail "Y did not answer the question"
sleep 0.5
focus "$MAIN"
shot "$MAIN" kb_page02
key Return
wait_end

ls "$W2" | grep -q '\.CLN$' && fail "rebuilt files left after the withdrawal: $(ls "$W2")"
grep -q '=' "$W2/WININIT.INI" 2>/dev/null && fail "replacement entries left: $(cat "$W2/WININIT.INI")"
[ "$(cd "$W2" && md5sum SYSTEM.DAT USER.DAT)" = "$sum_before" ] || fail "the hives changed"

echo "PASS: screenshots in $OUT"
