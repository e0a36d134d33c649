#!/usr/bin/env bash
# The desktop program as a user drives it: its own X server (Xvfb) with a
# real window manager (openbox) and a panel that reserves the bottom 32
# pixels, the real executable in Japanese (LANG=ja_JP.UTF-8), the keyboard
# and the mouse through xdotool, the clipboard through xclip, the database
# through the sqlcipher shell. The whole run is at 1366x768; then the main
# window, the version window, every box and the error window are opened at
# 1366x768 and 1024x768, with a 1.5 scale factor and with 125 % text, and
# each must lie inside the work area with its buttons reachable.
# Screenshots of every window go to $MIVOTRA_SCREENSHOT_DIR (default
# <build>/screenshots). Exits 77 (skipped) when the X tools are missing.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

APP="$BIN/MivotraPatch20091109"
HELPER=${MIVOTRA_X11WINDOW:-$BIN/../tests/mivotra-test-x11window}
MANAGER=${MIVOTRA_CLIPBOARD_MANAGER:-$BIN/../tests/mivotra-test-clipboard-manager}
SHOTS=${MIVOTRA_SCREENSHOT_DIR:-$BIN/../screenshots}
WAIT=20  # seconds any one awaited condition may take
PANEL=32

for tool in Xvfb openbox xdotool xclip xprop import xdpyinfo xwininfo sqlcipher; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is missing (scripts/ensure-deps.sh --test installs it)"
    exit 77
  fi
done
for program in "$APP" "$HELPER" "$MANAGER" "$SAMPLE"; do
  if [[ ! -x $program ]]; then
    echo "FAILED: $program is not built" >&2
    exit 1
  fi
done
export QT_QPA_PLATFORM=xcb
# A Japanese user: LANG decides (the tests' LC_ALL would override it).
unset LC_ALL LANGUAGE
export LANG=ja_JP.UTF-8
# No session bus: the program needs none, and the test must neither reach the
# desktop it runs in nor have libdbus try to launch a bus of its own.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$WORK/no-session-bus"
mkdir -p "$SHOTS"
SHOTS=$(cd "$SHOTS" && pwd)
rm -f "$SHOTS"/*.png

# Everything started here is ended here, whatever way the script ends; the
# watchdog ends the X server (and with it every client) should the script be
# killed outright.
started=()
xvfb=
watchdog=
stop_clients() {
  local pid
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${started[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then kill -9 "$pid"; fi
  done
  started=()
}
stop_x() {
  stop_clients
  [[ -n $xvfb ]] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  [[ -n $watchdog ]] && kill "$watchdog" 2>/dev/null && wait "$watchdog" 2>/dev/null
  xvfb=
  watchdog=
}
cleanup() {
  stop_x
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

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
  echo "--- windows shown:" >&2
  local id
  for id in $(xdotool search --all --onlyvisible --name '' 2>/dev/null); do
    echo "  $id $(xdotool getwindowname "$id" 2>/dev/null) (pid $(xdotool getwindowpid "$id" 2>/dev/null))" >&2
  done
  [[ -n ${DISPLAY:-} ]] && import -window root "$SHOTS/failure.png" 2>/dev/null
  finish
  exit 1
}

# start_x SIZE [PANEL]: a fresh X server of SIZE (1366x768) with openbox and,
# when PANEL is given, a dock of that height along the bottom.
start_x() {
  stop_x
  rm -f "$WORK/display"
  # The X server picks a free display itself and writes its number to fd 3.
  # It must not reset when its last client leaves: a program starting just
  # then would find no display.
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -noreset 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
  xvfb=$!
  local script_pid=$$
  (while kill -0 "$script_pid" 2>/dev/null; do sleep 1; done; kill "$xvfb") >/dev/null 2>&1 </dev/null &
  watchdog=$!
  need "the X server starts" until_true $WAIT display_known
  DISPLAY=":$(head -n 1 "$WORK/display")"
  export DISPLAY
  need "the X server answers" until_true $WAIT answers
  start openbox openbox --config-file /etc/xdg/openbox/rc.xml
  need "openbox manages the screen" until_true $WAIT wm_running
  if [[ -n ${2:-} ]]; then
    # A dock mapped while openbox is still starting may be missed: again then.
    local attempt
    for attempt in 1 2 3; do
      start panel "$HELPER" --class Panel --title panel --dock-bottom "$2"
      until_true 5 workarea_is 0 0 "${1%x*}" $((${1#*x} - $2)) && break
      kill "$pid"
      ended "$pid"
    done
    need "the panel reserves its height" workarea_is 0 0 "${1%x*}" $((${1#*x} - $2))
  else
    need "the work area is the screen" until_true $WAIT workarea_is 0 0 "${1%x*}" "${1#*x}"
  fi
  echo "display $DISPLAY: $1, work area $(workarea)"
}
display_known() { [[ -s $WORK/display ]]; }
answers() { xdpyinfo >/dev/null 2>&1; }
wm_running() { [[ $(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null) == *"window id"* ]]; }
# The first desktop's work area as "X Y WIDTH HEIGHT".
workarea() { xprop -root _NET_WORKAREA 2>/dev/null | sed -n 's/.*= *\([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/\1 \2 \3 \4/p'; }
workarea_is() { [[ $(workarea) == "$1 $2 $3 $4" ]]; }

# within WINDOW: the window with its frame lies inside the work area.
within() {
  local info x y w h l=0 r=0 t=0 b=0 ax ay aw ah extents
  info=$(xwininfo -id "$1" 2>/dev/null) || return 1
  x=$(sed -n 's/.*Absolute upper-left X: *\(-\?[0-9]*\).*/\1/p' <<<"$info")
  y=$(sed -n 's/.*Absolute upper-left Y: *\(-\?[0-9]*\).*/\1/p' <<<"$info")
  w=$(sed -n 's/.*Width: *\([0-9]*\).*/\1/p' <<<"$info")
  h=$(sed -n 's/.*Height: *\([0-9]*\).*/\1/p' <<<"$info")
  extents=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *\(.*\)/\1/p' | tr -d ' ')
  [[ -n $extents ]] && IFS=, read -r l r t b <<<"$extents"
  read -r ax ay aw ah <<<"$(workarea)"
  echo "  $(xdotool getwindowname "$1"): ${w}x${h}+${x}+${y}, frame $l,$r,$t,$b, work area ${aw}x${ah}+${ax}+${ay}" >>"$WORK/geometry.log"
  ((x - l >= ax && y - t >= ay && x + w + r <= ax + aw && y + h + b <= ay + ah))
}
# size_of WINDOW: "WIDTHxHEIGHT" of its client area.
size_of() { xwininfo -id "$1" | sed -n 's/.*Width: *\([0-9]*\).*/\1/p;s/.*Height: *\([0-9]*\).*/\1/p' | paste -sd x; }

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
# (From xwininfo: under a window manager xdotool's own geometry is off by
# the frame.)
client_geometry() {
  xwininfo -id "$1" | sed -n 's/.*Absolute upper-left X: *\(-\?[0-9]*\).*/X=\1/p
    s/.*Absolute upper-left Y: *\(-\?[0-9]*\).*/Y=\1/p;s/.*Width: *\([0-9]*\).*/WIDTH=\1/p
    s/.*Height: *\([0-9]*\).*/HEIGHT=\1/p'
}
click() {
  local X Y WIDTH HEIGHT
  eval "$(client_geometry "$1")"
  timeout 10 xdotool mousemove --sync $((X + $2 * WIDTH / $4)) $((Y + $3 * HEIGHT / $5)) click 1
}
# click_corner WINDOW DX DY: a left click DX horizontal and DY vertical dialog
# units left of and above the window's bottom right corner, with the base
# units BASE_X x BASE_Y of the dialog font and the scale factor SCALE. The
# error window keeps its buttons at their place from that corner when it is
# made smaller than its template.
BASE_X=7 BASE_Y=15 SCALE=1
click_corner() {
  local X Y WIDTH HEIGHT
  eval "$(client_geometry "$1")"
  local px py
  px=$(awk -v x="$X" -v w="$WIDTH" -v d="$2" -v b="$BASE_X" -v s="$SCALE" 'BEGIN { printf "%d", x + w - d * b / 4 * s }')
  py=$(awk -v y="$Y" -v h="$HEIGHT" -v d="$3" -v b="$BASE_Y" -v s="$SCALE" 'BEGIN { printf "%d", y + h - d * b / 8 * s }')
  timeout 10 xdotool mousemove --sync "$px" "$py" click 1
}
# Centres of the buttons, in dialog units: the main window is 260 x 183, its
# Run button (2, 2, 64, 20); the error window is 385 x 287, its copy button
# (260, 268, 68, 17) and its close button (332, 268, 50, 17), 91 and 28
# units from the right, 11 from the bottom.
click_run() { click "$1" 34 12 260 183; }
click_copy() { click_corner "$1" 91 11; }
click_close() { click_corner "$1" 28 11; }

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

start_x 1366x768 $PANEL
# A clipboard manager runs on this desktop: the statement list outlives the program.
start manager "$MANAGER"
manager=$pid
manager_ready() { grep -q '^ready' "$WORK/manager.log"; }
need "the clipboard manager runs" until_true $WAIT manager_ready

# --- The main window, opened while the main application is open: it opens as
# ever; only Run looks for the main application's window ----------------------
start mivotra "$HELPER" --class Mivotra --title "main application"
mivotra=$pid
helper_ready() { [[ -s $WORK/mivotra.log ]]; }
need "a window of class Mivotra is mapped" until_true $WAIT helper_ready
start app1 "$APP"
app1=$pid
shown() { timeout $WAIT xdotool search --sync --all --onlyvisible --pid "$1" --name "$2" >/dev/null; }
need "the main window appears" shown "$app1" 'データベース更新\(2009/11/09\)'
main=$(window_of "$app1" "${CONNECTED}data1.mdb")
need "its caption names the connected database" test -n "$main"
shot 01-main-window
check "the main window lies inside the work area" within "$main"
check "the main window is 455x343, as the original at 96 dpi" test "$(size_of "$main")" = 455x343
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
need "the Run button is clicked" click_run "$main"
need "Run refuses with the ＤＢ更新 box" await "$app1" "ＤＢ更新"
shot 02-main-application-running
check "the refusal lies inside the work area" within "$win"
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
check "the notice lies inside the work area" within "$win"
key "$win" Return
check "the box closes with Enter" gone "$win"
need "the success box appears" await "$app1" "2009/11/09更新"
shot 04-update-finished
check "the success box lies inside the work area" within "$win"
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
check "its box lies inside the work area" within "$win"
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
check "the clipboard manager took the statement list over" grep -q '^saved ' "$WORK/manager.log"
check "the statement list outlives the program" clipboard_lines_are 13
check "and is the same list" test "$(clipboard)" = "$(cat "$WORK/list.txt")"
kill "$manager"
ended "$manager"

# --- No database: the file dialog, in Japanese --------------------------------
settings missing "$dir/" ""
start app4 "$APP"
app4=$pid
need "the window says no database is chosen" await "$app4" "データベースが選択されてません"
main=$win
# The search button's centre: (242, 12) of 260 x 183 units.
need "the search button is clicked" click "$main" 242 12 260 183
need "the file dialog opens with its Japanese title" await "$app4" "開く"
shot 09-file-dialog
check "the file dialog lies inside the work area" within "$win"
key "$win" Escape
check "Esc cancels it" gone "$win"
key "$main" Escape
need "Esc ends the program" ended "$app4"

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
check "the error window lies inside the work area" until_true $WAIT within "$errwin"
check "the error window is 674x538, as the original at 96 dpi" test "$(size_of "$errwin")" = 674x538
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
# No clipboard manager ran this time: X11 keeps no clipboard of its own, so
# the copied text went with the program.
check "without a clipboard manager the copy ends with the program" test -z "$(clipboard)"

# --- Every window inside the work area, on smaller and scaled screens --------
# placement NAME SIZE PANEL SCALE FONT_DPI: a failing update on a fresh
# screen, every window checked and photographed.
placement() {
  local name=$1 size=$2 panel=$3 scale=$4 dpi=$5
  echo "--- $name: $size, panel ${panel:-none}, scale $scale, $dpi dpi"
  start_x "$size" "$panel"
  # Qt turns the font dpi into a scale factor of its own (120 dpi: 1.25).
  SCALE=$(awk -v s="$scale" -v d="$dpi" 'BEGIN { print s * d / 96 }')
  settings fail "$dir/" ""
  # The failing update leaves its backup; the next pass needs none there.
  rm -rf "$dir/データベース更新前データ"
  start "app-$name" env QT_SCALE_FACTOR="$scale" QT_FONT_DPI="$dpi" "$APP"
  local app=$pid
  need "$name: the main window appears" await "$app" "${CONNECTED}fail.mdb"
  local main=$win
  shot "$name-1-main-window"
  check "$name: the main window lies inside the work area" within "$main"
  # The window menu from the keyboard: Shift+F10, then Down to the version item.
  key "$main" shift+F10
  timeout 10 xdotool key Down Return
  need "$name: the version window opens from the keyboard" await "$app" "バージョン情報 MivotraPatch20091109"
  shot "$name-2-version-window"
  check "$name: the version window lies inside the work area" within "$win"
  key "$win" Return
  check "$name: the version window closes with Enter" gone "$win"
  key "$main" Return
  local box
  for box in notice report failure statement; do
    case $box in
      notice) need "$name: the backup notice appears" await "$app" "2009/11/09" ;;
      *) need "$name: the $box box appears" await "$app" "$NAME" ;;
    esac
    shot "$name-3-$box-box"
    check "$name: the $box box lies inside the work area" within "$win"
    key "$win" Return
    check "$name: the $box box closes" gone "$win"
  done
  need "$name: the error window appears" await "$app" "更新エラー内容"
  local errwin=$win
  shot "$name-4-error-window"
  # Under load the window manager may still be placing it: wait for that
  # before the close button is clicked.
  check "$name: the error window lies inside the work area" until_true $WAIT within "$errwin"
  need "$name: its close button is clicked" click_close "$errwin"
  check "$name: the close button is there and closes it" gone "$errwin"
  key "$main" Escape
  need "$name: Esc ends the program" ended "$app"
}
placement 1366-panel 1366x768 $PANEL 1 96
placement 1024 1024x768 "" 1 96
placement 1366-panel-x1.5 1366x768 $PANEL 1.5 96
placement 1024-x1.5 1024x768 "" 1.5 96
placement 1366-panel-125pc 1366x768 $PANEL 1 120
placement 1024-panel-x1.5 1024x768 $PANEL 1.5 96
echo "--- window geometries (client, frame left,right,top,bottom):"
cat "$WORK/geometry.log"

echo "screenshots: $(ls "$SHOTS" | tr '\n' ' ')"
finish
