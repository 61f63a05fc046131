#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows program: builds sabrel.exe and unlha32.dll with MinGW i686 (win32
# thread model, static runtime) in build-win32-check, checks their import
# tables against the functions Windows 95 exports, and, when
# Wine is installed, runs a smoke test of the program under Wine set up as a
# Japanese Windows 98 (code page 932) on a virtual display:
#   - start-up on a demo installation: the wizard opens with no message;
#   - a second copy ends at once and silently;
#   - the options dialog: the target list with the user's profile hive
#     selected, the archiver library's version;
#   - backup only: the question box (declined, then accepted), the backup
#     through unlha32.dll, the restore batch file, the end of the program;
#   - a rebuild: the worker thread's message box, page "02", the end;
#   - the wizard's running and completion pages and the results report,
#     shown by gallery.exe;
#   - the keyboard: Tab to the options dialog's tab strip, the arrow keys,
#     Ctrl+Tab and Ctrl+Shift+Tab across its pages, and the return key on
#     pages "02" and "03";
#   - whole runs of the unchanged program through a test-only registry
#     stand-in (Wine loads no Windows 9x hives), as Windows 98 and as Me:
#     OK, the completion page, the restart button, Wine's boot step swapping
#     the hives, libcreg reading them, the restore batch file putting them
#     back in dosbox; a withdrawal; and each failure that stops a run,
#     checked against the no-loss rule;
#   - the same program in English on code page 1252: its pages, the options
#     dialog's tabs, the question box, the restore batch file, a stopped run
#     and the gallery's pages (screenshots in shots/en).
# The platform's and the backend's own tests (GoogleTest, with the shared
# conformance suite of the platform) run under Wine first. Screenshots land in
# build-win32-check/shots. Exits non-zero on failure.
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
BUILD=$ROOT/build-win32-check
SHOTS=$BUILD/shots
LOG=$BUILD/check.log
status=0
passed=0
failed=0
fail() {
  echo "FAIL: $*"
  status=1
  failed=$((failed + 1))
}
pass() {
  echo "ok: $*"
  passed=$((passed + 1))
}

for tool in i686-w64-mingw32-g++-win32 i686-w64-mingw32-objdump cmake ninja nasm; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/setup.sh installs it)"; exit 1; }
done
mkdir -p "$BUILD"
: >"$LOG"

# --- 1. The cross build --------------------------------------------------------
if ! { timeout 300 cmake -S . -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
         -DCMAKE_BUILD_TYPE=Release -DSABREL_TESTS=OFF -DSABREL_FLTK=OFF >>"$LOG" 2>&1 &&
       timeout 900 cmake --build "$BUILD" -j"$(nproc)" --target sabrel unlha32 poke gallery \
         >>"$LOG" 2>&1; }; then
  tail -n 40 "$LOG"
  echo "FAIL: the Windows build (log: $LOG)"
  exit 1
fi
EXE=$BUILD/sabrel.exe
DLL=$BUILD/unlha32.dll
pass "built sabrel.exe ($(stat -c %s "$EXE") bytes) and unlha32.dll ($(stat -c %s "$DLL") bytes)"

# --- 2. Import tables ------------------------------------------------------------
# An allowlist: every import must be a function that Windows 95 exports and
# that works there (scripts/win9x/exports.txt), the C runtime's from the
# MSVCRT.DLL of Windows 98.
python3 scripts/win9x/imports.py "$EXE" "$DLL" || fail "imports outside what Windows 95 offers"
# The loader of Windows 95 refuses images that ask for a newer system.
for f in "$EXE" "$DLL"; do
  v=$(i686-w64-mingw32-objdump -p "$f" | awk '/MajorOSystemVersion|MajorSubsystemVersion/ {print $2}' |
      sort -u | tr '\n' ' ')
  [ "$v" = "4 " ] || fail "$(basename "$f") asks for Windows version $v (4 expected)"
done
exports=$(i686-w64-mingw32-objdump -p "$DLL" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          tail -n +2 | grep -oE '[A-Za-z_@0-9]+$' | sort | tr '\n' ' ')
[ "$exports" = "Unlha UnlhaCheckArchive UnlhaGetRunning UnlhaGetVersion " ] ||
  fail "unlha32.dll exports: $exports"
[ $status -eq 0 ] && pass "import tables are clean"

# --- 3. Under Wine -------------------------------------------------------------------
# Each step reports its own failure; the steps after it still run.
set +e
skip() {
  echo "Wine part skipped: $*"
  echo "win32: $passed passed, $failed failed"
  exit $status
}
command -v wine >/dev/null || skip "wine is not installed (scripts/setup.sh installs it)"
for tool in Xvfb xdotool import iconv; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
locale -a 2>/dev/null | grep -qix 'ja_JP.utf8' ||
  skip "the ja_JP.UTF-8 locale is missing, so Wine would not run with code page 932"

HIVE_TOOL=$ROOT/build/sabrel-hive
if [ ! -x "$HIVE_TOOL" ]; then
  HOST=$BUILD/host
  timeout 300 cmake -S . -B "$HOST" -G Ninja -DSABREL_TESTS=OFF -DSABREL_FLTK=OFF >>"$LOG" 2>&1
  timeout 600 cmake --build "$HOST" -j"$(nproc)" --target sabrel-hive >>"$LOG" 2>&1
  HIVE_TOOL=$HOST/sabrel-hive
fi

export WINEPREFIX=$BUILD/wine WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
export LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8
rm -rf "$SHOTS" && mkdir -p "$SHOTS"

XVFB_PID=
cleanup() {
  # Only this prefix's server and the display started here.
  wineserver -k >/dev/null 2>&1 || true
  [ -z "$XVFB_PID" ] || kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT
# A free display number: Xvfb writes it to the given descriptor.
exec 7< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>>"$LOG" & echo "pid $!")
read -r -t 10 _ XVFB_PID <&7 || skip "Xvfb did not start"
read -r -t 10 display <&7 || skip "Xvfb did not report its display"
export DISPLAY=:$display
started=$(date +%s)

# Wine's helper processes inherit the descriptors of the call that starts
# them, so nothing here reads a wine call's output through a pipe.
if [ ! -f "$WINEPREFIX/.sabrel-ready" ]; then
  rm -rf "$WINEPREFIX"
  timeout 120 wineboot -i </dev/null >>"$LOG" 2>&1 || fail "wineboot"
fi
# Nothing may be left of an earlier run: the tools find windows by class.
wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1
wineserver -p
timeout 60 wine cmd /c exit </dev/null >>"$LOG" 2>&1 || true
if [ ! -f "$WINEPREFIX/.sabrel-ready" ]; then
  reg() { timeout 60 wine reg add "$@" /f </dev/null >>"$LOG" 2>&1; }
  reg 'HKCU\Software\Wine' /v Version /d win98
  # Window frames drawn by Wine itself, and no wait for a window manager.
  reg 'HKCU\Software\Wine\X11 Driver' /v Managed /d N
  for pair in 'ＭＳ Ｐゴシック=IPAPGothic' 'MS PGothic=IPAPGothic' 'ＭＳ ゴシック=IPAGothic' \
              'MS Gothic=IPAGothic' 'MS UI Gothic=IPAPGothic' 'Arial=DejaVu Sans'; do
    reg 'HKCU\Software\Wine\Fonts\Replacements' /v "${pair%%=*}" /d "${pair#*=}"
  done
  marlett=$(dpkg -L fonts-wine 2>/dev/null | grep -i 'marlett.ttf$' | head -n 1 || true)
  [ -z "$marlett" ] || cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"
  touch "$WINEPREFIX/.sabrel-ready"
fi
echo "Wine prefix ready in $(($(date +%s) - started)) s"

# The platform's and the backend's tests. GoogleTest needs std::mutex, which
# only the posix thread model of the compiler has; test programs need not
# load on Windows 9x, so they use it. The conformance cases left out test what
# Wine does differently from Windows: hashed 8.3 aliases, the archive mark it
# always sets, read-only files that root may overwrite, its own error codes
# for missing paths, and private-profile writes that reformat the file.
GTEST_SRC=/usr/src/googletest/googletest
TESTS_EXE=$BUILD/tests/win32_tests.exe
if [ -d "$GTEST_SRC" ] && command -v i686-w64-mingw32-g++-posix >/dev/null; then
  GXX=i686-w64-mingw32-g++-posix
  TFLAGS=(-std=c++17 -O1 -Wall -Wextra -Werror -finput-charset=UTF-8 -fexec-charset=CP932
          -DWINVER=0x0400 -D_WIN32_WINNT=0x0400 -D_WIN32_WINDOWS=0x0410 -D_WIN32_IE=0x0401
          -I"$ROOT" -isystem "$GTEST_SRC/include")
  mkdir -p "$BUILD/gtest"
  if [ ! -f "$BUILD/gtest/gtest-all.o" ]; then
    timeout 300 $GXX "${TFLAGS[@]}" -I"$GTEST_SRC" -c "$GTEST_SRC/src/gtest-all.cc" \
      -o "$BUILD/gtest/gtest-all.o" >>"$LOG" 2>&1
    timeout 300 $GXX "${TFLAGS[@]}" -I"$GTEST_SRC" -c "$GTEST_SRC/src/gtest_main.cc" \
      -o "$BUILD/gtest/gtest_main.o" >>"$LOG" 2>&1
  fi
  if timeout 600 $GXX "${TFLAGS[@]}" -static -o "$TESTS_EXE" \
       tests/platform/conformance_test.cpp tests/win32/win32_world.cpp \
       tests/win32/win32_platform_test.cpp tests/win32/win32_ui_test.cpp \
       platform/win32/win32_platform.cpp platform/platform.cpp common/paths.cpp \
       ui/win32/win32_ui.cpp ui/win32/form_window.cpp ui/win32/form_window_sync.cpp ui/win32/message_box.cpp \
       ui/ui.cpp ui/form.cpp ui/form_decl.cpp art/artwork.cpp \
       "$BUILD/gtest/gtest-all.o" "$BUILD/gtest/gtest_main.o" -lcomctl32 -lgdi32 >>"$LOG" 2>&1; then
    wine_only='PathsMatchWithoutRegardToCaseAndByAlias DoubleByteNamesWithBackslashTrailBytes'
    wine_only+=' AttributesRoundTrip ReadOnlyFileRefusesDeletionAndOverwrite'
    wine_only+=' MissingPathsGiveFileOrPathNotFound EnumerationWithAttributesAndPatterns'
    wine_only+=' ProfileEditsKeepEveryOtherByte'
    filter=-$(for t in $wine_only; do printf 'PlatformConformance.%s:' "$t"; done)
    rc=0
    timeout 120 wine "$TESTS_EXE" --gtest_filter="${filter%:}" </dev/null >"$BUILD/tests.txt" 2>&1 ||
      rc=$?
    summary=$(tr -d '\r' <"$BUILD/tests.txt" | grep -E '^\[  (PASSED|FAILED) +\]' | head -n 1)
    if [ $rc -eq 0 ]; then
      pass "platform and backend tests under Wine: $summary"
    else
      tr -d '\r' <"$BUILD/tests.txt" | iconv -f CP932 -t UTF-8 -c | grep -vE '^\[ +(RUN|OK) ' | tail -n 40
      fail "platform and backend tests under Wine (exit code $rc)"
    fi
  else
    fail "the test program did not build (log: $LOG)"
  fi
else
  echo "note: no GoogleTest sources or posix-model compiler; the unit tests under Wine are skipped"
fi

WINDIR=$WINEPREFIX/drive_c/windows
USERNAME=$(id -un)
MACHINE=$BUILD/machine
# A demo installation, made by make-machine with these options. Under Wine
# the logged-on user is the Unix user, whatever the installation says.
fresh_machine() {
  rm -rf "$MACHINE"
  "$HIVE_TOOL" make-machine "$@" "$MACHINE" >>"$LOG" 2>&1
  # The installation's files take the places of Wine's own in its Windows folder.
  rm -rf "$WINDIR/Profiles" "$WINDIR"/*.CLN "$WINDIR"/*BU.EXE "$WINDIR"/*.BEF \
    "$WINDIR/wininit.ini" "$WINDIR/WININIT.INI" "$WINDIR/help/SBRCOVER.BAT"
  cp -r "$MACHINE/WINDOWS/." "$WINDIR/"
}
poke() { timeout 30 wine "$BUILD/tests/poke.exe" "$@" </dev/null 2>>"$LOG"; }
# The window's controls and texts, as UTF-8 lines.
dump() {
  poke dump "$1" >"$BUILD/dump.txt" || return 1
  tr -d '\r' <"$BUILD/dump.txt" | iconv -f CP932 -t UTF-8
}
count() {
  poke count "$1" >"$BUILD/count.txt"
  tr -d '\r' <"$BUILD/count.txt"
}
shot() { import -window root "$SHOTS/$1.png" 2>>"$LOG" || true; }
# Tab through the options dialog until its tab strip has the focus.
tab_to_strip() {
  for _ in 1 2 3 4 5 6 7 8; do
    poke focus TForm2 | grep -q '^SysTabControl32' && break
    xdotool key Tab
    sleep 0.2
  done
}
# The pages and the report that no run under Wine reaches, as gallery.exe
# shows them in the locale's language. $1: the folder under the shots for
# their pictures ("" for the shots themselves); $2: the language's name in the
# results ("" for Japanese).
gallery_shots() {
  local folder=$1 language=$2 mode cls pid
  for mode in "running 2" "done" report; do
    cls=TForm1
    [ "$mode" = report ] && cls=TForm3
    wine "$BUILD/tests/gallery.exe" $mode </dev/null >>"$LOG" 2>&1 &
    pid=$!
    if poke wait $cls 20; then
      sleep 0.5
      shot "${folder:+$folder/}gallery-${mode// /-}"
      poke close $cls || true
    else
      fail "${language:+$language: }gallery $mode did not open"
    fi
    for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
    kill $pid 2>/dev/null || true
  done
  pass "${language:-gallery} screenshots: $(ls "$SHOTS${folder:+/$folder}" | tr '\n' ' ')"
}
SABREL_PID=
start_sabrel() {
  wine "$EXE" </dev/null >>"$LOG" 2>&1 &
  SABREL_PID=$!
}
# Waits for the program to end; its exit code must be 0.
expect_end() {
  local rc=0
  for _ in $(seq 100); do
    kill -0 "$SABREL_PID" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$SABREL_PID" 2>/dev/null; then
    fail "$1: the program did not end"
    kill "$SABREL_PID" 2>/dev/null || true
    return
  fi
  wait "$SABREL_PID" || rc=$?
  [ $rc -eq 0 ] && pass "$1: the program ended (exit code 0)" || fail "$1: exit code $rc"
}
# Waits until the message box shows `text`; the box's dump is in box.txt.
expect_box() {
  local text=$1
  for _ in $(seq 60); do
    if poke wait SabrelBox 1 && dump SabrelBox >"$BUILD/box.txt" && grep -qF -- "$text" "$BUILD/box.txt"; then
      return 0
    fi
    sleep 0.2
  done
  fail "no message box saying \"$text\""
  cat "$BUILD/box.txt" 2>/dev/null || true
  return 1
}
# Waits until the wizard shows `text`; its dump is in wizard.txt.
wizard_shows() {
  for _ in $(seq 30); do
    dump TForm1 >"$BUILD/wizard.txt" 2>/dev/null && grep -qF -- "$1" "$BUILD/wizard.txt" && return 0
    sleep 0.1
  done
  return 1
}

# Start-up, the single instance and the options dialog.
fresh_machine --user "$USERNAME" --profile Taro --profile "$USERNAME"
start_sabrel
if poke wait TForm1 20; then
  sleep 0.5
  shot wizard
  [ "$(count SabrelBox)" = 0 ] && pass "start-up: the wizard, no message" ||
    fail "start-up showed a message box"
  dump TForm1 >"$BUILD/wizard.txt"
  grep -qx $'Button\tenabled\tOK' "$BUILD/wizard.txt" &&
    grep -qx $'Button\tenabled\tｵﾌﾟｼｮﾝ...' "$BUILD/wizard.txt" &&
    grep -qF 'レジストリ再構成ユーティリティ' "$BUILD/wizard.txt" ||
    fail "page 00 is not as expected: $(cat "$BUILD/wizard.txt")"

  rc=0
  timeout 30 wine "$EXE" </dev/null >>"$LOG" 2>&1 || rc=$?
  [ $rc -eq 0 ] && [ "$(count TForm1)" = 1 ] &&
    pass "a second copy ended at once, silently" || fail "second copy: exit code $rc"

  poke click TForm1 'ｵﾌﾟｼｮﾝ...'
  if poke wait TForm2 10; then
    sleep 0.3
    shot options
    dump TForm2 >"$BUILD/options.txt"
    expected=$'item\t-\tSYSTEM.DAT\nitem\t-\tUSER.DAT\n'
    expected+=$'item\tmarked\tProfiles\\'"$USERNAME"$'\\USER.DAT\nitem\t-\tProfiles\\Taro\\USER.DAT'
    targets=$(grep '^item' "$BUILD/options.txt" | sort -k3)
    [ "$targets" = "$(echo "$expected" | sort -k3)" ] &&
      grep -qF 'Unlha32.dll version' "$BUILD/options.txt" &&
      pass "options: targets with the user's profile hive selected, the archiver's version" ||
      fail "options dialog: $(cat "$BUILD/options.txt")"
    # A click on the selected entry takes its mark away; OK with nothing
    # selected warns and disables the wizard's OK until a later OK with a
    # selection. lbRegs: 16, 32, one entry per 17 pixels.
    marked=$(grep '^item' "$BUILD/options.txt" | grep -n $'\tmarked\t' | cut -d: -f1)
    click_target() {
      poke origin TForm2 >"$BUILD/origin.txt"
      read -r tx ty <<<"$(tr -d '\r' <"$BUILD/origin.txt")"
      xdotool mousemove $((tx + 60)) $((ty + 32 + 2 + (marked - 1) * 17 + 8)) click 1
      sleep 0.3
    }
    click_target
    dump TForm2 | grep -q $'^item\tmarked' && fail "the click left the entry marked"
    poke click TForm2 OK
    if expect_box '１つも選択されていません'; then
      shot warning
      grep -qx $'title\t警告' "$BUILD/box.txt" &&
        [ "$(grep '^Button' "$BUILD/box.txt" | cut -f3 | tr '\n' ' ')" = "はい(&Y) " ] ||
        fail "warning box: $(cat "$BUILD/box.txt")"
      poke click SabrelBox 'はい(&Y)'
      poke gone TForm2 10
      dump TForm1 | grep -qx $'Button\tdisabled\tOK' &&
        pass "options: nothing selected warns (警告, はい(&Y)) and disables OK" ||
        fail "OK is not disabled after the warning"
    fi
    poke click TForm1 'ｵﾌﾟｼｮﾝ...'
    poke wait TForm2 10
    # The keyboard alone: Tab reaches the tab strip (the focus comes back to
    # where it was, OK after its click), whose pages the arrow keys, Ctrl+Tab
    # and Ctrl+Shift+Tab switch.
    tab_to_strip
    on_page() {
      xdotool key "$1"
      sleep 0.3
      dump TForm2 | grep -q $'\t'"$2"'$' || { echo "after $1: $(dump TForm2 | tr '\n' ' ')"; return 1; }
    }
    poke focus TForm2 | grep -q '^SysTabControl32' && on_page Right '検査で幽霊ｷｰがあっても再構成強行' &&
      on_page ctrl+Tab '圧縮書庫' && on_page ctrl+Tab 'Good･Badｷｰが減っても強行' &&
      on_page ctrl+shift+Tab '圧縮書庫' && on_page Left '検査で幽霊ｷｰがあっても再構成強行' &&
      on_page ctrl+shift+Tab '再構成とﾊﾞｯｸｱｯﾌﾟ' && on_page ctrl+shift+Tab 'ttfCacheを削除する' &&
      on_page ctrl+Tab '再構成とﾊﾞｯｸｱｯﾌﾟ' &&
      pass "options: Tab reaches the tab strip; arrows, Ctrl+Tab and Ctrl+Shift+Tab switch pages" ||
      fail "options: the tab pages do not follow the keyboard"
    click_target
    poke click TForm2 'ﾊﾞｯｸｱｯﾌﾟのみ'
    sleep 0.2
    poke click TForm2 OK
    poke gone TForm2 10 || fail "the options dialog did not close"
    dump TForm1 | grep -qx $'Button\tenabled\tOK' && pass "options: a selection enables OK again" ||
      fail "OK is not enabled again"
  else
    fail "the options dialog did not open"
  fi

  # The window refuses the close command.
  poke close TForm1
  sleep 0.3
  poke wait TForm1 1 && pass "the wizard refuses the close command" ||
    fail "the wizard closed on the close command"

  # Backup only: "no" leaves everything as it was; "yes" backs up and ends.
  poke click TForm1 OK
  if expect_box 'バックアップのみ行います.'; then
    shot confirm
    grep -qx $'title\t確認' "$BUILD/box.txt" &&
      [ "$(grep '^Button' "$BUILD/box.txt" | cut -f3 | tr '\n' ' ')" = "はい(&Y) いいえ(&N) " ] &&
      pass "the question box: caption 確認, buttons はい(&Y) いいえ(&N)" ||
      fail "question box: $(cat "$BUILD/box.txt")"
    xdotool key n
    poke gone SabrelBox 10 && dump TForm1 | grep -qx $'Button\tenabled\tOK' &&
      pass "answered いいえ with the N key: page 00 stays usable" || fail "いいえ(&N)"
  fi
  poke click TForm1 OK
  if expect_box 'バックアップのみ行います.'; then
    xdotool key y
    if expect_box 'バックアップを完了しました.'; then
      shot backup-done
      grep -qx $'title\tQuillmere' "$BUILD/box.txt" || fail "the plain box's caption"
      poke click SabrelBox OK
      expect_end "backup only"
      [ -s "$WINDIR/Profiles/$USERNAME/USERBU.EXE" ] && [ -s "$WINDIR/help/SBRCOVER.BAT" ] &&
        pass "backup only: the self-extracting archive and the restore batch file" ||
        fail "backup only: no archive or no restore batch file"
    fi
  fi
else
  fail "the wizard did not open"
fi
[ -z "$SABREL_PID" ] || kill "$SABREL_PID" 2>/dev/null || true

# A rebuild: Wine refuses to load a Windows 9x hive, so the worker thread
# stops at the first hive with its message, shown on the user-interface
# thread; the timer then shows page "02", whose button ends the program.
# Large hives of a user without a profile (SYSTEM.DAT and USER.DAT are the
# targets) keep the backup busy for a while: meanwhile the picture on page
# "01" must change from tick to tick.
fresh_machine --profile Taro --keys 60000
start_sabrel
if poke wait TForm1 20; then
  poke origin TForm1 >"$BUILD/origin.txt"
  read -r ox oy <<<"$(tr -d '\r' <"$BUILD/origin.txt")"
  # The focus starts on the first control in tab order, OK: the return key
  # presses it.
  xdotool key Return
  # imgFld: page "01" of nbStage (8, 80) at 216, 32.
  for i in 1 2 3 4; do
    sleep 0.12
    import -window root -crop "64x64+$((ox + 224))+$((oy + 112))" +repage "$BUILD/frame$i.png" \
      2>>"$LOG"
    [ $i -eq 1 ] && shot running
  done
  changes=0
  for i in 2 3 4; do
    diff=$(compare -metric AE "$BUILD/frame$((i - 1)).png" "$BUILD/frame$i.png" null: 2>&1 || true)
    [ "${diff%% *}" != 0 ] && changes=$((changes + 1))
  done
  lit=$(convert "$BUILD/frame1.png" -format '%[fx:mean>0.02]' info: 2>>"$LOG")
  convert "$BUILD"/frame[1-4].png +append "$SHOTS/animation.png" 2>>"$LOG"
  [ "$changes" -ge 2 ] && [ "$lit" = 1 ] &&
    pass "page 01: the animation runs ($changes changes in 4 frames)" ||
    fail "page 01: the animation did not run ($changes changes, picture drawn: $lit)"
  if expect_box 'ロードできません['; then
    shot worker-box
    pass "the worker thread's message: $(grep '^Static' "$BUILD/box.txt" | cut -f3 | tr '\n' ' ')"
    poke click SabrelBox OK
    if wizard_shows '再構成を中止しました'; then
      shot stopped
      pass "page 02 after the stopped run"
      poke click TForm1 '終了'
      expect_end "rebuild stopped"
    else
      fail "page 02 did not come: $(cat "$BUILD/wizard.txt")"
    fi
  fi
else
  fail "the wizard did not open for the rebuild"
fi
[ -z "$SABREL_PID" ] || kill "$SABREL_PID" 2>/dev/null || true

# --- 4. Whole runs through a registry stand-in ---------------------------------------
# Wine loads only its own registry format, so the shipped program, unchanged,
# runs here beside a test-only advapi32.dll whose registry functions work on
# Windows 9x hives through the project's own hive engine (everything else goes
# to Wine's advapi32.dll, copied beside it as advapi3w.dll). SABREL_REGFAIL
# makes the stand-in fail at the steps that stop a run. After the restart
# button Wine's boot step carries out WININIT.INI's [Rename] section, as
# Windows 9x does at its next start.
E2E=$BUILD/e2e
ORIG=$BUILD/e2e-original
rm -rf "$E2E" && mkdir -p "$E2E"
if timeout 300 cmake --build "$BUILD" --target regstandin >>"$LOG" 2>&1 &&
   cp "$EXE" "$DLL" "$BUILD/tests/standin/advapi32.dll" "$BUILD/tests/standin/advapi3w.dll" "$E2E/"; then
  e2e=1
else
  fail "the registry stand-in did not build (log: $LOG)"
  e2e=0
fi
set_version() {
  timeout 60 wine reg add 'HKCU\Software\Wine' /v Version /d "$1" /f </dev/null >>"$LOG" 2>&1
}
# The host path of a Windows path read as code page 932. Wine gives names
# that it cannot keep as 8.3 hashed short forms; poke.exe finds their long
# form, as long as the file exists.
host_path() {
  local p
  p=$(printf '%s' "$1" | iconv -f CP932 -t UTF-8)
  case $p in
    *'~'*) p=$(poke longpath "$p" | tr -d '\r' | iconv -f CP932 -t UTF-8) ;;
  esac
  p=$(printf '%s' "$p" | tr '\\' '/')
  [ -n "$p" ] || p='C:/nonexistent'
  printf '%s/%s' "$WINEPREFIX/drive_c" "${p#[Cc]:/}"
}
# The entries of WININIT.INI's [Rename] section, one "key=value" a line.
renames() {
  [ -f "$WINDIR/WININIT.INI" ] || return 0
  tr -d '\r' <"$WINDIR/WININIT.INI" |
    awk '/^\[/ {in_rename = tolower($0) == "[rename]"; next} in_rename && /=/'
}
dump_hive() { /usr/bin/python3 "$ROOT/tests/registry/libcreg_dump.py" "$1" 2>>"$LOG"; }
same_keys() {
  local a b
  a=$(dump_hive "$1") && b=$(dump_hive "$2") && [ -n "$a" ] && [ "$a" = "$b" ]
}
# The hives of the installation, relative to the Windows folder.
hives() { (cd "$ORIG" && find . -iname '*.DAT' -type f | sed 's|^\./||' | sort); }
# The no-loss rule: every hive as it was, every Rename entry names an
# existing rebuilt file that holds exactly its hive's keys and values, and
# the restore batch file names only backups that exist.
no_loss() {
  local what=$1 h ok=1 key value
  for h in $(hives); do
    cmp -s "$ORIG/$h" "$WINDIR/$h" || { fail "$what: $h changed"; ok=0; }
  done
  while IFS='=' read -r key value; do
    [ -n "$key" ] || continue
    if [ ! -f "$(host_path "$value")" ] || ! same_keys "$(host_path "$key")" "$(host_path "$value")"; then
      fail "$what: WININIT.INI names a missing or unverified file: $key=$value"
      ok=0
    fi
  done <<<"$(renames)"
  if [ -f "$WINDIR/help/SBRCOVER.BAT" ]; then
    while read -r backup; do
      [ -f "$(host_path "$backup")" ] || { fail "$what: SBRCOVER.BAT names a missing backup: $backup"; ok=0; }
    done <<<"$(tr -d '\r' <"$WINDIR/help/SBRCOVER.BAT" | awk '/^IF EXIST / {print $3}')"
  fi
  [ $ok = 1 ] && pass "$what: no loss (hives unchanged, entries and restore batch sound)"
}
# A demo installation as in fresh_machine, with the hives hidden, system and
# read-only, as Windows 9x keeps them; a copy stays in ORIG.
e2e_machine() {
  fresh_machine "$@"
  rm -rf "$ORIG" && cp -r "$MACHINE/WINDOWS" "$ORIG"
  rm -f "$WINDIR/wininit.bak"
  (cd "$WINDIR" && for h in $(hives); do
     h=$(echo "$h" | tr / '\\')
     # Wine's attrib takes one attribute a call.
     timeout 30 wine cmd /c "attrib +r $h & attrib +h $h & attrib +s $h" </dev/null >>"$LOG" 2>&1
   done)
  # Read-only for Wine too: the stand-in then loads them for reading only.
  for h in $(hives); do
    [ "$(stat -c %A "$WINDIR/$h")" = "-r--r--r--" ] || fail "$h could not be made read-only"
  done
}
e2e_start() {
  WINEDLLOVERRIDES='mscoree,mshtml=;advapi32=n,b' SABREL_REGFAIL="${1:-}" \
    wine "$E2E/sabrel.exe" </dev/null >>"$LOG" 2>&1 &
  SABREL_PID=$!
  poke wait TForm1 20
}
# Waits for a visible button of the wizard, up to $2 seconds.
wait_button() {
  for _ in $(seq $(($2 * 5))); do
    dump TForm1 2>/dev/null | grep -qx $'Button\tenabled\t'"$1" && return 0
    sleep 0.2
  done
  return 1
}
# The run as the user makes it: OK, the completion page, the restart button
# (pressed with the return key when $2 is "key": the focus is on it once it
# shows); then Wine's boot step swaps the files. $1 names the run, the rest
# are the hives it rebuilds.
e2e_full_run() {
  local what=$1 how=$2 h swapped=0
  shift 2
  poke click TForm1 OK
  if ! wait_button 'このボタンを押すと再起動します' 120; then
    fail "$what: no completion page ($(dump TForm1 | tr '\n' ' '); $(dump SabrelBox 2>/dev/null | tr '\n' ' '))"
    return 1
  fi
  shot "e2e-$what-done"
  for h in "$@"; do
    cp "$WINDIR/${h%.*}.CLN" "$BUILD/e2e-${h//\//_}.CLN" 2>/dev/null || fail "$what: no rebuilt file of $h"
  done
  [ "$(renames | wc -l)" = $# ] || fail "$what: WININIT.INI: $(renames | tr '\n' ' ')"
  [ "$(tr -d '\r' <"$WINDIR/help/SBRCOVER.BAT" | LC_ALL=C grep -ac '^IF EXIST ')" = $# ] ||
    fail "$what: the restore batch file does not name a backup for each hive"
  no_loss "$what, completion page"
  if [ "$how" = key ]; then
    xdotool key Return
  else
    poke click TForm1 'このボタンを押すと再起動します'
  fi
  expect_end "$what: the restart button ($how)"
  for _ in $(seq 100); do [ -f "$WINDIR/wininit.bak" ] && break; sleep 0.2; done
  [ -f "$WINDIR/wininit.bak" ] && pass "$what: Wine's boot step carried out [Rename] (wininit.bak)" ||
    fail "$what: no wininit.bak after the restart"
  for h in "$@"; do
    if cmp -s "$BUILD/e2e-${h//\//_}.CLN" "$WINDIR/$h" && ! cmp -s "$ORIG/$h" "$WINDIR/$h" &&
       same_keys "$ORIG/$h" "$WINDIR/$h"; then
      swapped=$((swapped + 1))
    else
      fail "$what: $h is not its rebuilt file with the original keys and values"
    fi
  done
  [ $swapped = $# ] &&
    pass "$what: $* swapped; libcreg reads exactly their original keys and values"
  rm -f "$BUILD"/e2e-*.CLN
}
# DOS mode after the swap: the restore batch file (without its PAUSE, which
# waits for a key) puts every hive back from its self-extracting backup.
# dosbox sees a copy of the Windows folder's files that the batch uses, with
# an ATTRIB that does nothing (dosbox keeps no attributes on host folders).
dos_restore() {
  local what=$1 stage=$BUILD/dos h rc=0
  shift
  command -v dosbox >/dev/null || { echo "note: dosbox is not installed; the DOS restore is skipped"; return; }
  rm -rf "$stage" && mkdir -p "$stage/c/windows/COMMAND" "$stage/home"
  for h in "$@"; do
    mkdir -p "$stage/c/windows/$(dirname "$h")"
    cp "$WINDIR/$h" "$stage/c/windows/$h"
  done
  (cd "$WINDIR" && find . -iname '*BU.EXE' -exec cp --parents {} "$stage/c/windows/" \;)
  printf '\xB8\x00\x4C\xCD\x21' >"$stage/c/windows/COMMAND/ATTRIB.COM"
  tr -d '\r' <"$WINDIR/help/SBRCOVER.BAT" | LC_ALL=C grep -avx PAUSE | sed 's/$/\r/' >"$stage/c/RESTORE.BAT"
  printf '%s\n' '[sdl]' 'output=surface' '[dosbox]' 'memsize=16' '[cpu]' 'core=dynamic' 'cycles=max' \
    '[mixer]' 'nosound=true' '[speaker]' 'pcspeaker=false' '[autoexec]' \
    "mount c \"$stage/c\"" 'c:' 'call RESTORE.BAT > OUT.TXT' 'exit' >"$stage/dosbox.conf"
  HOME=$stage/home SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
    timeout 120 dosbox -conf "$stage/dosbox.conf" -noconsole </dev/null >>"$LOG" 2>&1 || rc=$?
  local same=0
  for h in "$@"; do
    cmp -s "$ORIG/$h" "$stage/c/windows/$h" && same=$((same + 1)) ||
      fail "$what: DOS restore: $h is not the original file (dosbox exit code $rc)"
  done
  [ $same = $# ] && pass "$what: SBRCOVER.BAT in dosbox put back $* byte for byte"
}

if [ $e2e = 1 ]; then
  # Windows 98: SYSTEM.DAT and USER.DAT with their archive backups.
  set_version win98
  e2e_machine --profile Taro
  if e2e_start; then
    e2e_full_run win98 key SYSTEM.DAT USER.DAT && dos_restore win98 SYSTEM.DAT USER.DAT
  else
    fail "win98: the wizard did not open"
  fi
  wineserver -k >/dev/null 2>&1; wineserver -w; wineserver -p
fi

if [ $e2e = 1 ]; then
  # Windows Me: CLASSES.DAT too, and a profile whose name ends in a byte
  # 0x5C, chosen in the options dialog beside the three default targets.
  set_version winme
  e2e_machine --me --profile '表ソ'
  if e2e_start; then
    poke click TForm1 'ｵﾌﾟｼｮﾝ...'
    if poke wait TForm2 10; then
      sleep 0.3
      poke origin TForm2 >"$BUILD/origin.txt"
      read -r tx ty <<<"$(tr -d '\r' <"$BUILD/origin.txt")"
      xdotool mousemove $((tx + 60)) $((ty + 32 + 2 + 3 * 17 + 8)) click 1
      sleep 0.3
      dump TForm2 >"$BUILD/options.txt"
      [ "$(grep -c $'^item\tmarked\t' "$BUILD/options.txt")" = 4 ] &&
        grep -qx $'item\tmarked\tProfiles\\\\表ソ\\\\USER.DAT' "$BUILD/options.txt" ||
        fail "me: the targets are not all selected: $(cat "$BUILD/options.txt")"
      poke click TForm2 OK
      poke gone TForm2 10
      e2e_full_run me click SYSTEM.DAT USER.DAT CLASSES.DAT 'Profiles/表ソ/USER.DAT'
    else
      fail "me: the options dialog did not open"
    fi
  else
    fail "me: the wizard did not open"
  fi
  set_version win98
  wineserver -k >/dev/null 2>&1; wineserver -w; wineserver -p

  # Withdrawal: the rebuilt files go, then "終了" takes the entries back;
  # the return key presses it, the one button of page "02".
  e2e_machine --profile Taro
  if e2e_start; then
    poke click TForm1 OK
    if wait_button 'やっぱり、やめる.' 120; then
      poke click TForm1 'やっぱり、やめる.'
      if expect_box '再構成したレジストリを削除しますか'; then
        xdotool key y
        if wait_button '終了' 20; then
          ls "$WINDIR"/*.CLN >/dev/null 2>&1 && fail "withdrawal: rebuilt files are left"
          xdotool key Return
          expect_end "withdrawal: the return key on page 02"
          [ -z "$(renames)" ] && [ ! -f "$WINDIR/wininit.bak" ] && ! ls "$WINDIR"/*.CLN >/dev/null 2>&1 &&
            pass "withdrawal: no rebuilt file, no entry left" ||
            fail "withdrawal: left behind: $(renames | tr '\n' ' ') $(ls "$WINDIR"/*.CLN 2>/dev/null)"
          no_loss "withdrawal"
        else
          fail "withdrawal: page 02 did not come"
        fi
      fi
    else
      fail "withdrawal: no completion page"
    fi
  fi
  [ -z "$SABREL_PID" ] || kill "$SABREL_PID" 2>/dev/null || true

  # Each step that stops a run, made to fail by the stand-in: the message,
  # page "02", "終了" (by the return key), and nothing lost at any point.
  stop_run() {
    local fault=$1 text=$2
    e2e_machine --profile Taro
    if ! e2e_start "$fault"; then
      fail "$fault: the wizard did not open"
      return
    fi
    poke click TForm1 OK
    if expect_box "$text"; then
      shot "e2e-stop-${fault%@*}"
      no_loss "$fault: at the message \"$text\""
      poke click SabrelBox OK
      if wait_button '終了' 20; then
        xdotool key Return
        expect_end "$fault: the return key on page 02"
        [ -z "$(renames)" ] || fail "$fault: entries are left: $(renames | tr '\n' ' ')"
        no_loss "$fault: after 終了"
      else
        fail "$fault: page 02 did not come"
      fi
    fi
    [ -z "$SABREL_PID" ] || kill "$SABREL_PID" 2>/dev/null || true
  }
  stop_run save@2 'USER.DAT: 再構成できません[1016]'
  stop_run unload 'SYSTEM.DAT: ロード解除できません[5]'
  stop_run exists '再構成に使用するキーと同名のキーが存在します'
fi

gallery_shots "" ""

# --- 5. English ------------------------------------------------------------------------
# Wine gives each process the code page of its locale: outside Japanese (1252
# here) the program speaks English, in MS Sans Serif, with the same layout,
# and the restore batch file it writes is English too.
export LC_ALL=C.UTF-8 LANG=C.UTF-8
mkdir -p "$SHOTS/en"
fresh_machine --user "$USERNAME" --profile "$USERNAME"
start_sabrel
if poke wait TForm1 20; then
  sleep 0.5
  shot en/wizard
  dump TForm1 >"$BUILD/wizard.txt"
  grep -qx $'Button\tenabled\tOptions...' "$BUILD/wizard.txt" &&
    grep -qF 'Registry Rebuild Utility' "$BUILD/wizard.txt" &&
    ! LC_ALL=C grep -q $'[\x80-\xff]' "$BUILD/wizard.txt" &&
    pass "English: page 00 in English alone" || fail "English page 00: $(cat "$BUILD/wizard.txt")"
  poke click TForm1 'Options...'
  if poke wait TForm2 10; then
    sleep 0.3
    tab_to_strip
    for tab in 1 2 3 4 5 6; do
      [ $tab -eq 1 ] || { xdotool key ctrl+Tab; sleep 0.3; }
      shot "en/options-$tab"
    done
    xdotool key ctrl+Tab
    sleep 0.3
    dump TForm2 >"$BUILD/options.txt"
    grep -qF 'Registries to rebuild' "$BUILD/options.txt" &&
      grep -qx $'Button\tenabled\tBack up only' "$BUILD/options.txt" &&
      pass "English: the options dialog" || fail "English options: $(cat "$BUILD/options.txt")"
    poke click TForm2 'Back up only'
    sleep 0.2
    poke click TForm2 OK
    poke gone TForm2 10 || fail "English: the options dialog did not close"
  else
    fail "English: the options dialog did not open"
  fi
  poke click TForm1 OK
  if expect_box 'will only be backed up.'; then
    shot en/confirm
    grep -qx $'title\tConfirm' "$BUILD/box.txt" &&
      [ "$(grep '^Button' "$BUILD/box.txt" | cut -f3 | tr '\n' ' ')" = "&Yes &No " ] &&
      pass "English: the question box (Confirm, &Yes &No)" ||
      fail "English question box: $(cat "$BUILD/box.txt")"
    xdotool key y
    if expect_box 'The backup is complete.'; then
      shot en/backup-done
      poke click SabrelBox OK
      expect_end "English: backup only"
      batch=$WINDIR/help/SBRCOVER.BAT
      tr -d '\r' <"$batch" | grep -qx 'ECHO _ The registry is restored.' &&
        ! LC_ALL=C grep -q $'[\x80-\xff]' "$batch" &&
        pass "English: the restore batch file speaks English" ||
        fail "English batch file: $(tr -d '\r' <"$batch" 2>&1 | head -n 12)"
    fi
  fi
else
  fail "English: the wizard did not open"
fi
[ -z "$SABREL_PID" ] || kill "$SABREL_PID" 2>/dev/null || true
# A stopped rebuild: the worker thread's message and page "02".
fresh_machine --profile Taro
start_sabrel
if poke wait TForm1 20; then
  xdotool key Return
  if expect_box 'cannot load['; then
    shot en/worker-box
    poke click SabrelBox OK
    if wizard_shows 'The rebuild was stopped.'; then
      shot en/stopped
      poke click TForm1 'Exit'
      expect_end "English: rebuild stopped"
    else
      fail "English: page 02 did not come: $(cat "$BUILD/wizard.txt")"
    fi
  fi
else
  fail "English: the wizard did not open for the rebuild"
fi
[ -z "$SABREL_PID" ] || kill "$SABREL_PID" 2>/dev/null || true
gallery_shots en English
export LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8
echo "Wine part: $(($(date +%s) - started)) s; screenshots in $SHOTS"
echo "win32: $passed passed, $failed failed"
exit $status
