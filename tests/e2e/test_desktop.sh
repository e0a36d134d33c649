#!/usr/bin/env bash
# The desktop program as a user drives it: its own X server (Xvfb) with a
# real window manager (openbox) and a panel that reserves the bottom 32
# pixels, the real executable in Japanese (LANG=ja_JP.UTF-8), the keyboard
# and the mouse through xdotool, the clipboard through xclip, the database
# through the sqlcipher shell. The whole run is at 1366x768; then the main
# window, the version window, every box and the error window are opened at
# 1366x768 and 1024x768, with a 1.5 scale factor and with 125 % text, and
# each must lie inside the work area with its buttons reachable. On the
# first of those screens a screen reader's view is read too, through AT-SPI
# on a session bus of the test's own: every control's name and role, the
# item that takes the focus when the Menu key opens the window menu, and the
# focus frames that only keyboard use shows, read from the pixels.
# Last, the same windows on Wayland desktops through XWayland: weston at
# 100 % and 200 %, and mutter (GNOME's compositor).
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
ATSPI="$(dirname "${BASH_SOURCE[0]}")/atspi.py"
# Debian's own Python, which has pyatspi (another one may come first in PATH).
if ! command -v dbus-daemon >/dev/null || ! /usr/bin/python3 -c 'import pyatspi' 2>/dev/null; then
  echo "skipped: dbus-daemon or python3-pyatspi is missing (scripts/ensure-deps.sh --test installs them)"
  exit 77
fi
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
# hover WINDOW X Y WIDTH HEIGHT: the mouse to the point X, Y of a window
# WIDTH x HEIGHT units large; click: a left click there.
hover() {
  local X Y WIDTH HEIGHT
  eval "$(client_geometry "$1")"
  timeout 10 xdotool mousemove --sync $((X + $2 * WIDTH / $4)) $((Y + $3 * HEIGHT / $5))
}
click() { hover "$@" && timeout 10 xdotool click 1; }
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
hover_run() { hover "$1" 34 12 260 183; }
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

# --- The mouse resting on Run: its tip, on the screen -------------------------
other_window() { xdotool search --all --onlyvisible --pid "$1" --name '' 2>/dev/null | grep -vx "$2" | head -n 1; }
tip_found() { tip=$(other_window "$app1" "$main") && [[ -n $tip ]]; }
need "the mouse rests on the Run button" hover_run "$main"
check "the Run button's tip appears" until_true $WAIT tip_found
shot 01b-run-button-tip
check "the tip lies inside the work area" within "$tip"
need "the mouse moves on to the log" hover "$main" 130 100 260 183
check "the tip goes with it" gone "$tip"

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
# A user adds a line of their own at the top before sending the text on.
need "the text is clicked" click "$errwin" 190 100 385 287
need "a note is typed at its start" key "$errwin" ctrl+Home
timeout 10 xdotool type --delay 20 "memo" && key "$errwin" Return
need "the copy button is clicked" click_copy "$errwin"
check "the text with the note is on the clipboard" until_true $WAIT clipboard_starts "memo"$'\r\n'"Message : "
clipboard >"$WORK/error.txt"
check "the report's lines end in CR LF" test "$(sed -n 2p "$WORK/error.txt" | tail -c 2 | od -An -c | tr -d ' ')" = '\r\n'
check "the failing statement follows the report and an empty line" \
  test "$(sed -n 8p "$WORK/error.txt" | cut -c1-30)" = "INSERT INTO t_db_ver (DBVerID,"
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

# --- What a screen reader and a keyboard user meet -----------------------------
# start_bus: a session bus of the test's own with accessibility switched on,
# as a screen reader does; the programs started after it reach it.
start_bus() {
  start bus dbus-daemon --session --nofork --print-address
  bus_known() { [[ -s $WORK/bus.log ]]; }
  need "the session bus starts" until_true $WAIT bus_known
  DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$WORK/bus.log")
  local property
  for property in IsEnabled ScreenReaderEnabled; do
    need "the accessibility bus switches $property on" timeout 10 dbus-send --session \
      --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
      string:org.a11y.Status string:$property variant:boolean:true >/dev/null
  done
}
# accessible PID ROLE NAME [STATE]: the program's accessible tree holds an
# object of that role and name (in that state). The tree is read afresh each
# time, as it may lag the screen.
accessible() {
  timeout 20 /usr/bin/python3 "$ATSPI" tree "$1" >"$WORK/tree.txt" 2>>"$WORK/atspi.log" &&
    grep -qP "^\\d+\t\Q$2\E\t\Q$3\E\t.*${4:-}" "$WORK/tree.txt"
}
# focus_after PID KEY ROLE NAME: pressing KEY gives the focus to that object.
focus_after() {
  timeout 20 /usr/bin/python3 "$ATSPI" focus "$1" xdotool key "$2" >"$WORK/focus.txt" 2>>"$WORK/atspi.log"
  grep -qxP "\Q$3\E\t\Q$4\E" "$WORK/focus.txt"
}
# grab WINDOW X Y W H FILE: that part of the window, in dialog units of the
# main window's 260 x 183, as it is on the screen.
grab() {
  local X Y WIDTH HEIGHT
  eval "$(client_geometry "$1")"
  import -window "$1" -crop "$(($4 * WIDTH / 260))x$(($5 * HEIGHT / 183))+$(($2 * WIDTH / 260))+$(($3 * HEIGHT / 183))" \
    +repage "$6" 2>/dev/null
}
same_pixels() { [[ $(compare -metric AE "$1" "$2" null: 2>&1) == 0 ]]; }
# rgb FILE X Y: the pixel's "R G B".
rgb() { convert "$1" -alpha off -crop "1x1+$2+$3" -depth 8 txt:- 2>/dev/null | sed -n '2s/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\)).*/\1 \2 \3/p'; }
# contrast "R G B" "R G B": the WCAG contrast ratio of two colours.
contrast() {
  awk -v a="$1" -v b="$2" 'function lin(c) { c /= 255; return c <= 0.04045 ? c / 12.92 : ((c + 0.055) / 1.055) ^ 2.4 }
    function lum(s, p) { split(s, p, " "); return 0.2126 * lin(p[1]) + 0.7152 * lin(p[2]) + 0.0722 * lin(p[3]) }
    BEGIN { x = lum(a); y = lum(b); if (x < y) { t = x; x = y; y = t }; printf "%.2f", (x + 0.05) / (y + 0.05) }'
}
# framed BEFORE AFTER WHAT: AFTER differs from BEFORE in a one-pixel ring
# only (nothing inside it changed), whose colour stands out by 3:1 from what
# lay there before.
framed() {
  compare "$1" "$2" -compose src -highlight-color white -lowlight-color black "$WORK/diff.png" 2>/dev/null
  local box w h x y changed ratio
  box=$(convert "$WORK/diff.png" -format '%@' info: 2>/dev/null)
  IFS='x+' read -r w h x y <<<"$box"
  changed=$(compare -metric AE "$1" "$2" null: 2>&1)
  ratio=$(contrast "$(rgb "$2" "$x" $((y + h / 2)))" "$(rgb "$1" "$x" $((y + h / 2)))")
  echo "  $3: frame ${w}x${h}+${x}+${y}, $changed pixels changed, contrast $ratio:1" >"$WORK/frame.txt"
  ((w > 2 && h > 2 && changed == 2 * (w + h) - 4)) && awk -v r="$ratio" 'BEGIN { exit !(r >= 3) }'
}
# shows_frame WINDOW X Y W H BEFORE WHAT: that part of the window, framed
# against BEFORE; polled, as the window may not have painted yet.
grab_framed() { grab "$1" "$2" "$3" "$4" "$5" "$WORK/now.png" && framed "$6" "$WORK/now.png" "$7"; }
shows_frame() {
  until_true 5 grab_framed "$@"
  local ok=$?
  cat "$WORK/frame.txt" >>"$WORK/focus-frames.log"
  return $ok
}
# screen_reader NAME APP MAIN: the main window's names, roles and keyboard focus.
screen_reader() {
  local name=$1 app=$2 main=$3
  check "$name: 更新実行 is a push button by its caption, with the focus" \
    until_true $WAIT accessible "$app" "push button" "更新実行" focused
  check "$name: the search button is named 検索" accessible "$app" "push button" "検索"
  check "$name: the log is a list named 更新内容" accessible "$app" "list" "更新内容"
  # The focus came with the window: 更新実行 has it and shows nothing. Tab
  # moves it to the log, whose current line is framed; Tab again back to
  # 更新実行 (検索 is greyed), which now shows its frame.
  timeout 10 xdotool windowfocus --sync "$main"
  grab "$main" 0 0 68 24 "$WORK/run-0.png"
  grab "$main" 4 28 252 20 "$WORK/log-0.png"
  timeout 10 xdotool key Tab
  check "$name: Tab gives the log the focus" until_true $WAIT accessible "$app" "list" "更新内容" focused
  check "$name: after Tab the log's current line is framed" \
    shows_frame "$main" 4 28 252 20 "$WORK/log-0.png" "the log's current line"
  grab "$main" 0 0 68 24 "$WORK/run-1.png"
  check "$name: 更新実行 looked the same with the focus and without" same_pixels "$WORK/run-0.png" "$WORK/run-1.png"
  timeout 10 xdotool key Tab
  check "$name: Tab gives 更新実行 the focus again" \
    until_true $WAIT accessible "$app" "push button" "更新実行" focused
  check "$name: after Tab 更新実行 shows its focus frame" \
    shows_frame "$main" 0 0 68 24 "$WORK/run-0.png" "更新実行"
  grab "$main" 4 28 252 20 "$WORK/log-2.png"
  check "$name: the log's frame goes with its focus" same_pixels "$WORK/log-0.png" "$WORK/log-2.png"
  shot "$name-0-keyboard-focus"
  check "$name: the Menu key opens the window menu on 閉じる(C)" focus_after "$app" Menu "menu item" "閉じる(C)"
  timeout 10 xdotool key Escape
}

# --- Every window inside the work area, on smaller and scaled screens --------
# placement NAME SIZE PANEL SCALE FONT_DPI [reader]: a failing update on a
# fresh screen, every window checked and photographed; with "reader", also
# as a screen reader and a keyboard user meet them.
placement() {
  local name=$1 size=$2 panel=$3 scale=$4 dpi=$5 reader=${6:-}
  echo "--- $name: $size, panel ${panel:-none}, scale $scale, $dpi dpi${reader:+, screen reader}"
  start_x "$size" "$panel"
  local bus=$DBUS_SESSION_BUS_ADDRESS
  [[ -n $reader ]] && start_bus
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
  [[ -n $reader ]] && screen_reader "$name" "$app" "$main"
  # The window menu from the keyboard: Shift+F10, then Down to the version item.
  key "$main" shift+F10
  timeout 10 xdotool key Down Return
  need "$name: the version window opens from the keyboard" await "$app" "バージョン情報 MivotraPatch20091109"
  shot "$name-2-version-window"
  check "$name: the version window lies inside the work area" within "$win"
  [[ -n $reader ]] && check "$name: the version window's icon is an image with its name" \
    until_true $WAIT accessible "$app" "image" "MivotraPatch20091109 のアイコン"
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
  [[ -n $reader ]] && check "$name: the error window's text is named エラー内容" \
    until_true $WAIT accessible "$app" "text" "エラー内容"
  need "$name: its close button is clicked" click_close "$errwin"
  check "$name: the close button is there and closes it" gone "$errwin"
  key "$main" Escape
  need "$name: Esc ends the program" ended "$app"
  DBUS_SESSION_BUS_ADDRESS=$bus
}
placement 1366-panel 1366x768 $PANEL 1 96 reader
placement 1024 1024x768 "" 1 96
placement 1366-panel-x1.5 1366x768 $PANEL 1.5 96
placement 1024-x1.5 1024x768 "" 1.5 96
placement 1366-panel-125pc 1366x768 $PANEL 1 120
placement 1024-panel-x1.5 1024x768 $PANEL 1.5 96

# --- Wayland desktops: weston at 100 % and 200 %, mutter (GNOME) -------------
# The compositor starts XWayland for X11 programs; the window is started as
# a Wayland desktop starts it (WAYLAND_DISPLAY, DISPLAY and XDG_SESSION_TYPE
# set, no QT_QPA_PLATFORM), with Qt's Wayland plugin installed. It must come
# up through X11 with the whole caption, every box and window made a dialog
# of the main window and inside XWayland's screen, which at 200 % is half
# the pixels. weston places X11 dialogs itself (not over their owner) and
# tells neither the frame nor panels; mutter keeps them where Qt asks, over
# their owner.
# A case is skipped, with the reason, when its compositor cannot start here.
#
# A start_<compositor> function brings the compositor up with its XWayland
# in DISPLAY, or fails with the reason in $why. It sets OUTER to the X
# server that takes the keys and the screenshots (empty: XWayland itself),
# CENTRED to "yes" where dialogs come centred over their owner, and NATIVE to
# the test that the program runs on Wayland itself (empty: none here).
compositor='' why='' OUTER='' CENTRED='' NATIVE=''
start_weston() {
  local scale=$1 size=$2
  compositor=weston OUTER='' CENTRED='' NATIVE=weston_native_shown
  command -v weston-debug >/dev/null || NATIVE=
  why="weston or its XWayland did not start here"
  stop_x
  rm -f "$WORK/display" "$WORK/weston.log"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
  xvfb=$!
  local script_pid=$$
  (while kill -0 "$script_pid" 2>/dev/null; do sleep 1; done; kill "$xvfb") >/dev/null 2>&1 </dev/null &
  watchdog=$!
  until_true $WAIT display_known || return 1
  OUTER=":$(head -n 1 "$WORK/display")"
  DISPLAY=$OUTER until_true $WAIT answers || return 1
  # The CPU renderer: Xvfb has no GPU. (weston 12 and later spell it --renderer.)
  local renderer=--use-pixman
  weston --help 2>&1 | grep -q -- '--renderer' && renderer=--renderer=pixman
  start weston env DISPLAY="$OUTER" weston --backend=x11-backend.so --width=$((${size%x*} / scale)) \
    --height=$((${size#*x} / scale)) --scale="$scale" "$renderer" --xwayland --debug \
    --socket=mivotra-wayland --idle-time=0
  weston_xwayland_known() { grep -q 'xserver listening on display' "$WORK/weston.log"; }
  if ! until_true $WAIT weston_xwayland_known; then
    why+=" ($(tail -n 1 "$WORK/weston.log" 2>/dev/null))"
    return 1
  fi
  DISPLAY=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$WORK/weston.log" | head -n 1)
  export DISPLAY
  until_true $WAIT answers || return 1
  echo "weston at scale $scale on $OUTER ($size), XWayland on $DISPLAY: $(screen_size)"
}
# The user's choice wins: on Wayland itself no X11 window comes up.
weston_native_shown() {
  WAYLAND_DISPLAY=mivotra-wayland timeout 5 weston-debug scene-graph 2>/dev/null |
    grep -q "xdg_toplevel.*'${CONNECTED}fail.mdb'"
}
# mutter without a screen of its own (a virtual monitor) and with a session
# bus of its own, which the program does not reach.
start_mutter() {
  local size=$1
  compositor=mutter OUTER='' CENTRED=yes NATIVE=''
  why="mutter is missing (scripts/ensure-deps.sh --test installs it)"
  command -v mutter >/dev/null || return 1
  why="mutter or its XWayland did not start here"
  stop_x
  rm -f "$WORK/mutter.log" "$WORK/mutter-bus.log"
  start mutter-bus dbus-daemon --session --nofork --print-address
  mutter_bus_known() { [[ -s $WORK/mutter-bus.log ]]; }
  until_true $WAIT mutter_bus_known || return 1
  start mutter env -u DISPLAY DBUS_SESSION_BUS_ADDRESS="$(head -n 1 "$WORK/mutter-bus.log")" \
    mutter --headless --wayland --virtual-monitor "$size" --wayland-display=mivotra-wayland
  mutter_xwayland_known() { grep -q 'Using public X11 display' "$WORK/mutter.log"; }
  if ! until_true $WAIT mutter_xwayland_known; then
    why+=" ($(grep -v '^$' "$WORK/mutter.log" 2>/dev/null | tail -n 1))"
    return 1
  fi
  DISPLAY=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$WORK/mutter.log" | head -n 1)
  # Its XWayland lets in only who holds the key mutter leaves there.
  XAUTHORITY=$(ls "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.* 2>/dev/null | head -n 1)
  export DISPLAY XAUTHORITY
  until_true $WAIT answers && until_true $WAIT wm_running || return 1
  echo "mutter on a virtual monitor ($size), XWayland on $DISPLAY: $(screen_size)"
}
screen_size() { xdpyinfo 2>/dev/null | sed -n 's/.*dimensions: *\([0-9]*x[0-9]*\) pixels.*/\1/p'; }
# inside_screen WINDOW: its client area lies inside XWayland's screen, below
# the top edge by the title bar the compositor draws (20 pixels at least).
inside_screen() {
  local X Y WIDTH HEIGHT size
  eval "$(client_geometry "$1")"
  size=$(screen_size)
  echo "  $compositor: $(xdotool getwindowname "$1"): ${WIDTH}x${HEIGHT}+${X}+${Y}, screen $size" >>"$WORK/geometry.log"
  ((X >= 0 && Y >= 20 && X + WIDTH <= ${size%x*} && Y + HEIGHT <= ${size#*x}))
}
# centred_over WINDOW OWNER: the centre of its client area lies on the
# owner's, give or take a few pixels and the 10 x 40 that Qt takes off for a
# frame it does not know yet (it asks for the place itself, which mutter
# keeps).
centred_over() {
  local X Y WIDTH HEIGHT cx cy
  eval "$(client_geometry "$2")"
  cx=$((X + WIDTH / 2)) cy=$((Y + HEIGHT / 2))
  eval "$(client_geometry "$1")"
  local dx=$((X + WIDTH / 2 - cx)) dy=$((Y + HEIGHT / 2 - cy))
  echo "  $compositor: $(xdotool getwindowname "$1"): centre off the owner's by $dx,$dy" >"$WORK/centre.txt"
  ((dx >= -14 && dx <= 4 && dy >= -44 && dy <= 4))
}
placed_at() {
  local X Y WIDTH HEIGHT
  eval "$(client_geometry "$1")"
  ((X == $2 && Y == $3))
}
dialog_of() { [[ $(xprop -id "$1" WM_TRANSIENT_FOR) == *"window id # $(printf '0x%x' "$2")" ]]; }
# Keys go to the X server in OUTER (weston's window there hands them to the
# window that has the focus), else to XWayland: a new window takes the focus.
press() { DISPLAY=${OUTER:-$DISPLAY} timeout 10 xdotool key "$@"; }
focused() { [[ $(xdotool getwindowfocus 2>/dev/null) == "$1" ]]; }
# press_in WINDOW KEYS...: the keys once the window has the focus. Under load
# the compositor activates a new window well after it is mapped, and a key
# pressed before then reaches the window behind it, or none.
press_in() {
  until_true $WAIT focused "$1"
  shift
  press "$@"
}
desktop_shot() {
  if [[ -n $OUTER ]]; then
    DISPLAY=$OUTER shot "$1"
  else
    check "screenshot $1" import -window "$2" "$SHOTS/$1.png"
  fi
}
# secondary NAME WHAT WINDOW MAIN: the window is a dialog of the main
# window, centred over it where the compositor does that, and on the screen.
secondary() {
  check "$1: the $2 is a dialog of the main window" dialog_of "$3" "$4"
  if [[ $CENTRED == yes ]]; then
    check "$1: the $2 is centred over the main window" until_true $WAIT centred_over "$3" "$4"
    cat "$WORK/centre.txt" >>"$WORK/geometry.log"
  fi
  check "$1: the $2 lies inside the screen" until_true $WAIT inside_screen "$3"
}
# wayland_desktop NAME START_COMPOSITOR ARGS...
wayland_desktop() {
  local name=$1 start_compositor=$2
  shift 2
  echo "--- $name: ${start_compositor#start_} $*"
  if ! "$start_compositor" "$@"; then
    echo "skipped: $name: $why"
    return 0
  fi
  settings fail "$dir/" ""
  rm -rf "$dir/データベース更新前データ"
  start "app-$name" env -u QT_QPA_PLATFORM WAYLAND_DISPLAY=mivotra-wayland XDG_SESSION_TYPE=wayland "$APP"
  local app=$pid
  need "$name: the main window comes up through X11 with the whole caption" \
    await "$app" "${CONNECTED}fail.mdb"
  local main=$win
  check "$name: the main window lies inside the screen" until_true $WAIT inside_screen "$main"
  desktop_shot "$name-1-main-window" "$main"
  # Off the middle of the screen, where centred on the screen and over the
  # main window would be the same, with room for the error window around it.
  if [[ $CENTRED == yes ]]; then
    xdotool windowmove "$main" 150 250
    check "$name: the main window moves off the middle" until_true $WAIT placed_at "$main" 150 250
  fi
  # The window menu may take the keys only once the main window has them.
  check "$name: the main window has the focus" until_true $WAIT focused "$main"
  press shift+F10
  press Down Return
  need "$name: the version window opens" await "$app" "バージョン情報 MivotraPatch20091109"
  secondary "$name" "version window" "$win" "$main"
  press_in "$win" Return
  check "$name: the version window closes with Enter" gone "$win"
  # Run is pressed once the main window has the keyboard again.
  check "$name: the main window takes the focus back" until_true $WAIT focused "$main"
  press Return
  local box
  for box in notice report failure statement; do
    case $box in
      notice) need "$name: the backup notice appears" await "$app" "2009/11/09" ;;
      *) need "$name: the $box box appears" await "$app" "$NAME" ;;
    esac
    secondary "$name" "$box box" "$win" "$main"
    desktop_shot "$name-2-$box-box" "$win"
    press_in "$win" Return
    check "$name: the $box box closes" gone "$win"
  done
  need "$name: the error window appears" await "$app" "更新エラー内容"
  # At 200 % smaller than its template (538 high) once weston's frame is on,
  # its buttons inside the screen.
  secondary "$name" "error window" "$win" "$main"
  desktop_shot "$name-3-error-window" "$win"
  press_in "$win" Escape
  check "$name: the error window closes with Esc" gone "$win"
  press_in "$main" Escape
  need "$name: Esc ends the program" ended "$app"
  if [[ -z $NATIVE ]]; then
    echo "skipped: $name: nothing here lists $compositor's own Wayland windows (weston-debug for weston)"
    return 0
  fi
  start "app-$name-native" env QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=mivotra-wayland "$APP"
  app=$pid
  check "$name: QT_QPA_PLATFORM=wayland runs it on Wayland itself" until_true $WAIT "$NATIVE"
  check "$name: and no X11 window of it is shown" test "$(visible_count "$app")" -eq 0
  kill "$app"
  ended "$app"
}
if command -v Xwayland >/dev/null; then
  if command -v weston >/dev/null; then
    wayland_desktop weston-1 start_weston 1 1366x768
    wayland_desktop weston-2 start_weston 2 1920x1080
  else
    echo "skipped: weston is missing (scripts/ensure-deps.sh --test installs it)"
  fi
  wayland_desktop mutter start_mutter 1366x768
else
  echo "skipped: XWayland is missing (scripts/ensure-deps.sh --test installs it)"
fi

echo "--- window geometries (client, frame left,right,top,bottom):"
cat "$WORK/geometry.log"
echo "--- focus frames after Tab:"
cat "$WORK/focus-frames.log" 2>/dev/null

echo "screenshots: $(ls "$SHOTS" | tr '\n' ' ')"
finish
