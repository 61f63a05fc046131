# SPDX-License-Identifier: MIT
# Shared by the scripts that drive the real program under a virtual display
# (sourced, after SABREL, HIVE_TOOL and, for screenshots, OUT are set): a work
# folder removed at the end with the program still running, the program's
# log, waiting for windows, screenshots and their brightness, start and end,
# and the state after a restart.

# Exits 77 (skipped) when one of the tools is missing.
need_tools() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null; then
      echo "SKIP: $tool is not installed (Debian packages xdotool, imagemagick)"
      exit 77
    fi
  done
}

WORK=$(mktemp -d)
LOG="$WORK/sabrel.log"
PID=""
cleanup() {
  if [ -n "$PID" ] && kill -0 "$PID" 2>/dev/null; then kill "$PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT
export SABREL_RUNTIME_DIR="$WORK/runtime"
mkdir -p "$SABREL_RUNTIME_DIR"

fail() {
  echo "FAIL: $*" >&2
  [ -f "$LOG" ] && sed 's/^/  sabrel: /' "$LOG" >&2
  exit 1
}

# The window of X class $1 (visible), waiting up to 10 s.
window_of() {
  local id=""
  for _ in $(seq 200); do
    id=$(xdotool search --onlyvisible --class "^$1\$" 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.05
  done
  return 1
}

# Waits up to 10 s for no visible window of X class $1 to be left.
gone() {
  for _ in $(seq 200); do
    [ -z "$(xdotool search --onlyvisible --class "^$1\$" 2>/dev/null || true)" ] && return 0
    sleep 0.05
  done
  return 1
}

shot() {  # window name
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$OUT/$2.png"
}

# Mean brightness (0..1) of a part of a screenshot.
brightness() {  # name w h x y
  convert "$OUT/$1.png" -crop "$2x$3+$4+$5" +repage -colorspace gray -format '%[fx:mean]' info:
}

# Takes screenshots of a window until a part of it is drawn (up to ~20 s).
shot_until_bright() {  # window name w h x y what
  local b
  for _ in $(seq 100); do
    shot "$1" "$2"
    b=$(brightness "$2" "$3" "$4" "$5" "$6")
    awk -v b="$b" 'BEGIN { exit !(b > 0.02) }' && return 0
    sleep 0.2
  done
  fail "$7 is not drawn (brightness $b in $2.png)"
}

# Starts the program on the installation in folder $1; MAIN is its wizard.
start() {  # machine
  export SABREL_WINDIR="$1/WINDOWS"
  "$SABREL" >"$LOG" 2>&1 &
  PID=$!
  MAIN=$(window_of SabrelForm1) || fail "the wizard window did not open"
  sleep 0.3
}

# After the restart in Windows folder $1: WININIT.INI was carried out, no
# rebuilt file is left waiting, and the hives check.
check_restarted() {  # windows folder
  [ ! -e "$1/SYSTEM.CLN" ] || fail "SYSTEM.CLN is still waiting after the restart"
  [ -f "$1/WININIT.BAK" ] || fail "WININIT.INI was not carried out"
  "$HIVE_TOOL" check "$1/SYSTEM.DAT" "$1/USER.DAT" >"$WORK/check.txt" ||
    fail "the new hives do not check: $(cat "$WORK/check.txt")"
}

# Waits up to 10 s for the program to end with status 0.
wait_end() {
  for _ in $(seq 200); do
    kill -0 "$PID" 2>/dev/null || { wait "$PID" || fail "sabrel ended with status $?"; PID=""; return 0; }
    sleep 0.05
  done
  fail "sabrel did not end"
}
