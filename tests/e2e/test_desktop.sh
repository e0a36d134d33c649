#!/usr/bin/env bash
# The desktop program as a user drives it: its own X server (Xvfb, no window
# manager), the real executable, the keyboard and the mouse through xdotool,
# the clipboard through xclip, the database through the sqlcipher shell.
# Screenshots of every window go to $MIVOTRA_SCREENSHOT_DIR (default
# <build>/screenshots). Exits 77 (skipped) when the X tools are missing.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

APP="$BIN/MivotraPatch20091109"
HELPER=${MIVOTRA_X11WINDOW:-$BIN/../tests/mivotra-test-x11window}
SHOTS=${MIVOTRA_SCREENSHOT_DIR:-$BIN/../screenshots}
WAIT=20  # seconds any one awaited condition may take

for tool in Xvfb xdotool xclip import xdpyinfo xwininfo sqlcipher; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is missing (scripts/ensure-deps.sh --test installs it)"
    exit 77
  fi
done
for program in "$APP" "$HELPER" "$SAMPLE"; do
  if [[ ! -x $program ]]; then
    echo "FAILED: $program is not built" >&2
    exit 1
  fi
done
mkdir -p "$SHOTS"
SHOTS=$(cd "$SHOTS" && pwd)
rm -f "$SHOTS"/*.png

# Everything started here is ended here, whatever way the script ends; the
# watchdog ends the X server (and with it every client) should the script be
# killed outright.
started=()
xvfb=
watchdog=
cleanup() {
  local pid
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${started[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then kill -9 "$pid"; fi
  done
  [[ -n $xvfb ]] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  [[ -n $watchdog ]] && kill "$watchdog" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The X server picks a free display itself and writes its number to fd 3. It
# must not reset when its last client leaves: a program starting just then
# would find no display.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
xvfb=$!
script_pid=$$
(while kill -0 "$script_pid" 2>/dev/null; do sleep 1; done; kill "$xvfb") >/dev/null 2>&1 </dev/null &
watchdog=$!

# until SECONDS COMMAND...: polls COMMAND until it succeeds or time is up.
until_true() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.05
  done
}
# need WHAT COMMAND...: like check, but the rest of the script depends on it.
need() {
  local before=$failed
  check "$@"
  ((failed == before)) && return 0
  echo "--- what the programs said:" >&2
  tail -n 20 "$WORK"/*.log >&2
  finish
  exit 1
}

display_known() { [[ -s $WORK/display ]]; }
need "the X server starts" until_true $WAIT display_known
DISPLAY=":$(head -n 1 "$WORK/display")"
export DISPLAY
answers() { xdpyinfo >/dev/null 2>&1; }
need "the X server answers" until_true $WAIT answers
export QT_QPA_PLATFORM=xcb
# No session bus: the program needs none, and the test must neither reach the
# desktop it runs in nor have libdbus try to launch a bus of its own.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$WORK/no-session-bus"
echo "display $DISPLAY, screenshots in $SHOTS"

shot() { check "screenshot $1" import -window root "$SHOTS/$1.png"; }

# start NAME PROGRAM ARGS...: runs it in the background; its pid in $pid.
start() {
  local name=$1
  shift
  "$@" >"$WORK/$name.log" 2>&1 </dev/null &
  pid=$!
  started+=("$pid")
}
# ended PID [SECONDS]: waits for the process's end; its exit status in $status.
running() { kill -0 "$1" 2>/dev/null; }
not_running() { ! running "$1"; }
ended() {
  until_true "${2:-$WAIT}" not_running "$1" || return 1
  wait "$1"
  status=$?
  local i
  for i in "${!started[@]}"; do [[ ${started[$i]} == "$1" ]] && unset "started[$i]"; done
  return 0
}

# The visible window of process PID whose title is exactly TITLE.
window_of() {
  local id
  for id in $(xdotool search --all --onlyvisible --pid "$1" --name '' 2>/dev/null); do
    if [[ $(xdotool getwindowname "$id" 2>/dev/null) == "$2" ]]; then
      echo "$id"
      return 0
    fi
  done
  return 1
}
# await PID TITLE: the window's id in $win once it is shown.
window_found() { win=$(window_of "$1" "$2"); }
await() { until_true $WAIT window_found "$1" "$2"; }
# (xwininfo without an id would wait for a click on a window. No "| grep -q"
# here: under pipefail a writer cut off by grep's early exit fails the test.)
viewable() { [[ -n $1 && $(xwininfo -id "$1" 2>/dev/null) == *IsViewable* ]]; }
hidden() { ! viewable "$1"; }
gone() { until_true $WAIT hidden "$1"; }
visible_count() { xdotool search --all --onlyvisible --pid "$1" --name '' 2>/dev/null | wc -l; }

# key WINDOW KEY: gives the window the keyboard focus, then presses the key.
key() { timeout 10 xdotool windowfocus --sync "$1" key "$2"; }
# click WINDOW X Y WIDTH HEIGHT: a left click at (X, Y), given in the dialog
# units of a window WIDTH x HEIGHT units large, as the window is now placed.
click() {
  # shellcheck disable=SC2034  # all set by --shell, only some used
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  timeout 10 xdotool mousemove --sync $((X + $2 * WIDTH / $4)) $((Y + $3 * HEIGHT / $5)) click 1
}
# Centres of the buttons, in dialog units: the main window is 260 x 183, its
# Run button (2, 2, 64, 20); the error window is 385 x 287, its copy button
# (260, 268, 68, 17) and its close button (332, 268, 50, 17).
click_run() { click "$1" 34 12 260 183; }
click_copy() { click "$1" 294 276 385 287; }
click_close() { click "$1" 357 276 385 287; }

clipboard() { timeout 5 xclip -o -selection clipboard 2>/dev/null; }
clipboard_lines_are() { [[ $(clipboard | wc -l) -eq $1 ]]; }
clipboard_starts() { [[ $(clipboard) == "$1"* ]]; }

LOCK="$XDG_RUNTIME_DIR/MivotraPatch20091109Instance.lock"
CONNECTED="データベース更新(2009/11/09) - 対象DB名 ･･･ "
NAME="MivotraPatch20091109"

# A sample database in a folder whose name has Japanese and a blank.
dir="$WORK/共有 フォルダ"
mkdir -p "$dir"
"$SAMPLE" "$dir/data1.mdb"
cp "$dir/data1.mdb" "$WORK/pristine.mdb"
settings data1 "$dir/" ""

# --- The main window --------------------------------------------------------
start app1 "$APP"
app1=$pid
shown() { timeout $WAIT xdotool search --sync --all --onlyvisible --pid "$1" --name "$2" >/dev/null; }
need "the main window appears" shown "$app1" 'データベース更新\(2009/11/09\)'
main=$(window_of "$app1" "${CONNECTED}data1.mdb")
need "its caption names the connected database" test -n "$main"
shot 01-main-window
check "the running copy holds the instance lock" test -e "$LOCK"
check "the main window is the only window shown" test "$(visible_count "$app1")" -eq 1
window_icon() { [[ $(xprop -id "$1" _NET_WM_ICON) == *"Icon (32 x 32)"* ]]; }
check "the window carries the application icon" until_true $WAIT window_icon "$main"
# A main window with a taskbar button: a normal window, transient for none.
check "the window is a normal window" \
  test "$(xprop -id "$main" _NET_WM_WINDOW_TYPE)" = "_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_NORMAL"
not_transient() { [[ $(xprop -id "$1" WM_TRANSIENT_FOR) != *"window id"* ]]; }
check "the window is transient for no other" not_transient "$main"

# --- The main application is open: Run refuses -------------------------------
start mivotra "$HELPER" --class Mivotra --title "main application"
mivotra=$pid
helper_ready() { [[ -s $WORK/mivotra.log ]]; }
need "a window of class Mivotra is mapped" until_true $WAIT helper_ready
need "the Run button is clicked" click_run "$main"
need "Run refuses with the ＤＢ更新 box" await "$app1" "ＤＢ更新"
shot 02-main-application-running
key "$win" Return
check "the refusal closes with Enter" gone "$win"
check "nothing was backed up" test ! -e "$dir/データベース更新前データ"
check "the database is still 1.06" test "$(sql "$dir/data1.mdb" "" "SELECT MAX(DBVerCode) FROM t_db_ver;")" = "1.06"
kill "$mivotra"
ended "$mivotra"

# --- A window merely titled "Mivotra" does not count: the update runs -------
start titled "$HELPER" --class Notepad --title "Mivotra"
titled=$pid
helper_ready() { [[ -s $WORK/titled.log ]]; }
need "a window titled Mivotra is mapped" until_true $WAIT helper_ready
# The click left the keyboard focus on the Run button: Enter presses it.
key "$main" Return
need "the backup notice appears" await "$app1" "2009/11/09"
shot 03-backup-notice
key "$win" Return
check "the box closes with Enter" gone "$win"
need "the success box appears" await "$app1" "2009/11/09更新"
shot 04-update-finished
key "$win" Return
check "the box closes with Enter" gone "$win"
check "the clipboard holds 13 numbered statements" until_true $WAIT clipboard_lines_are 13
clipboard >"$WORK/list.txt"
check "the first is numbered in three places" \
  test "$(head -n 1 "$WORK/list.txt" | cut -c1-38)" = "  1 CREATE TABLE t_expense_nexco_riyou"
check "the tenth records the version" grep -q '^ 10 INSERT INTO t_db_ver ' "$WORK/list.txt"
check "the database reads 1.07" \
  test "$(sql "$dir/data1.mdb" "" "SELECT MAX(DBVerCode) FROM t_db_ver;")" = "1.07"
check "the new tables are there" test "$(sql "$dir/data1.mdb" "" "SELECT COUNT(*) FROM sqlite_master \
  WHERE type = 'table' AND name IN ('t_expense_nexco_riyou', 't_sofu_syukin_code', 't_db_ver_comment');")" = 3
backup="$dir/データベース更新前データ/data1ver_1_06backup.mdb"
check "the backup file exists" test -f "$backup"
check "the backup is the database as it was" test "$(dump "$backup")" = "$(dump "$WORK/pristine.mdb")"
check "the main window stays open" viewable "$main"
kill "$titled"
ended "$titled"

# --- A second copy refuses while the first runs ------------------------------
start app2 "$APP"
app2=$pid
need "the second copy says it runs already" await "$app2" "$NAME"
shot 05-already-running
check "the second copy opens no main window" test "$(visible_count "$app2")" -eq 1
key "$win" Return
need "the second copy ends after Enter" ended "$app2"
check "the second copy exits 0" test "$status" -eq 0
check "the first copy keeps running" running "$app1"
check "and keeps its instance lock" test -e "$LOCK"
check "its window keeps its caption" test "$(xdotool getwindowname "$main")" = "${CONNECTED}data1.mdb"

# --- Esc closes the idle window -------------------------------------------
key "$main" Escape
need "Esc ends the program" ended "$app1"
check "the program exits 0" test "$status" -eq 0
check "the instance lock is released" test ! -e "$LOCK"

# --- A failing update: the error boxes and the error window -----------------
cp "$WORK/pristine.mdb" "$dir/fail.mdb"
sql "$dir/fail.mdb" "" "INSERT INTO t_db_ver (DBVerID, DBVerCode) VALUES (7, '1.05');"
before=$(dump "$dir/fail.mdb")
settings fail "$dir/" ""
start app3 "$APP"
app3=$pid
need "a new start after the end works" await "$app3" "${CONNECTED}fail.mdb"
main=$win
# The Run button has the keyboard focus from the start: Enter presses it.
key "$main" Return
need "the backup notice appears" await "$app3" "2009/11/09"
key "$win" Return
check "the box closes with Enter" gone "$win"
need "the error report appears" await "$app3" "$NAME"
shot 06-error-report
key "$win" Return
check "the box closes with Enter" gone "$win"
need "the failure is told" await "$app3" "$NAME"
key "$win" Return
check "the box closes with Enter" gone "$win"
need "the failing statement is shown" await "$app3" "$NAME"
shot 07-failing-statement
key "$win" Return
check "the box closes with Enter" gone "$win"
need "the error window appears" await "$app3" "更新エラー内容"
errwin=$win
shot 08-error-window
need "the copy button is clicked" click_copy "$errwin"
check "the error text is on the clipboard" until_true $WAIT clipboard_starts "Message : "
clipboard >"$WORK/error.txt"
check "the report's lines end in CR LF" test "$(head -n 1 "$WORK/error.txt" | tail -c 2 | od -An -c | tr -d ' ')" = '\r\n'
check "the failing statement follows the report and an empty line" \
  test "$(sed -n 7p "$WORK/error.txt" | cut -c1-30)" = "INSERT INTO t_db_ver (DBVerID,"
check "and closes the numbered list" \
  test "$(tail -n 2 "$WORK/error.txt" | head -n 1 | cut -c1-34)" = " 10 INSERT INTO t_db_ver (DBVerID,"
need "the close button is clicked" click_close "$errwin"
check "the error window closes" gone "$errwin"
check "the failed update leaves the database as it was" test "$(dump "$dir/fail.mdb")" = "$before"
check "the main window is back" viewable "$main"
key "$main" Escape
need "Esc ends the program" ended "$app3"
check "the program exits 0" test "$status" -eq 0
check "the instance lock is released" test ! -e "$LOCK"

echo "screenshots: $(ls "$SHOTS" | tr '\n' ' ')"
finish
