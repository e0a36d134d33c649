#!/bin/bash
# Start-up of the window under Xvfb: the time from exec to the first paint of
# the main window with a sample database open, and the peak resident memory
# (VmHWM) at that moment, for the desktop program (bench_startup_program: its start-up with the hook) and, in the same run, for
# bench_startup_baseline (Qt Widgets and one empty dialog). One warm-up round,
# then RUNS rounds (default 9, at least 7) with the two programs alternating
# which goes first; medians, and the ratios ours/baseline.
# Targets for ours: first paint within 300 ms, peak memory within 80 MiB.
#
#   bench/startup.sh [BUILD_DIR]
#
# The programs come from BUILD_DIR (default: the newest build* folder of the
# repository that has both). Both print their measurement through the
# MIVOTRA_EXIT_AFTER_FIRST_PAINT hook (bench/support/FirstPaintExit.h). Exit status
# 1 when a target is missed.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-}
if [[ -z $build ]]; then
  for candidate in $(ls -dt "$repo"/build*/ 2>/dev/null); do
    if [[ -x $candidate/bench/bench_startup_program && -x $candidate/bench/bench_startup_baseline ]]; then
      build=${candidate%/}
      break
    fi
  done
fi
app=$build/bench/bench_startup_program
baseline=$build/bench/bench_startup_baseline
sample=$build/src/mivotra-sample-db
for program in "$app" "$baseline" "$sample"; do
  if [[ ! -x $program ]]; then
    echo "$program not found; build it: cmake --build <build dir> --target bench_startup_program" \
      "bench_startup_baseline mivotra-sample-db" >&2
    exit 2
  fi
done
for tool in Xvfb xdpyinfo; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/ensure-deps.sh --test)" >&2; exit 2; }
done
runs=${RUNS:-9}
if ((runs < 7)); then
  echo "RUNS must be at least 7" >&2
  exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/mivotra-bench-XXXXXX")
xvfb=
cleanup() {
  if [[ -n $xvfb ]]; then
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# A display of its own (the server picks a free number), fresh settings and a
# sample database for the program to open.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 200); do [[ -s $work/display ]] && break; sleep 0.05; done
DISPLAY=":$(head -n 1 "$work/display")"
export DISPLAY
for _ in $(seq 200); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
xdpyinfo >/dev/null 2>&1 || { echo "Xvfb did not start" >&2; exit 2; }
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset WAYLAND_DISPLAY
# No session bus, as in the end-to-end test: no time spent looking for one.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-session-bus"
mkdir -p "$XDG_CONFIG_HOME/MIVOTRA" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
"$sample" "$work/data1.mdb" >/dev/null
printf '[DATABASE]\nFileName="data1"\nPathName="%s/"\nPassword=""\n' "$work" \
  >"$XDG_CONFIG_HOME/MIVOTRA/MIVOTRA.conf"

# measure PROGRAM NAME: one start; appends "ms kb" to $work/NAME.
measure() {
  local line ms kb
  line=$(MIVOTRA_EXIT_AFTER_FIRST_PAINT=$EPOCHREALTIME timeout 60 "$1" 2>&1 >/dev/null |
    grep '^first-paint-ms ') || { echo "$1 did not report its first paint" >&2; exit 1; }
  read -r _ ms _ kb <<<"$line"
  echo "$ms $kb" >>"$work/$NAME"
}
round() {  # round FIRST: both programs once, ours first when FIRST is 0
  if (($1 == 0)); then
    NAME=ours measure "$app"
    NAME=baseline measure "$baseline"
  else
    NAME=baseline measure "$baseline"
    NAME=ours measure "$app"
  fi
}

round 0 # warm-up: font and shader caches, the disk cache of the libraries
rm -f "$work/ours" "$work/baseline"
for ((i = 0; i < runs; i++)); do round $((i % 2)); done

median() {  # median FILE COLUMN
  cut -d' ' -f"$2" "$1" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ours_ms=$(median "$work/ours" 1)
base_ms=$(median "$work/baseline" 1)
ours_kb=$(median "$work/ours" 2)
base_kb=$(median "$work/baseline" 2)

awk -v om="$ours_ms" -v bm="$base_ms" -v ok="$ours_kb" -v bk="$base_kb" -v runs="$runs" \
  -v os="$(cut -d' ' -f1 "$work/ours" | tr '\n' ' ')" -v bs="$(cut -d' ' -f1 "$work/baseline" | tr '\n' ' ')" '
BEGIN {
  printf "Start-up under Xvfb, median of %d runs (after one warm-up)\n", runs
  printf "%-28s %18s %16s\n", "", "first paint (ms)", "peak RSS (MiB)"
  printf "%-28s %18.1f %16.1f\n", "MivotraPatch20091109", om, ok / 1024
  printf "%-28s %18.1f %16.1f\n", "baseline (empty QDialog)", bm, bk / 1024
  printf "%-28s %18.2f %16.2f\n", "ratio ours / baseline", om / bm, ok / bk
  printf "%-28s %18s %16s\n", "target for ours", "<= 300", "<= 80"
  printf "runs, ms: ours %s\n          baseline %s\n", os, bs
  missed = (om > 300) + (ok / 1024 > 80)
  print missed ? "a target is missed" : "targets met"
  exit missed ? 1 : 0
}'
