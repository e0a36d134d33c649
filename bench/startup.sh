#!/bin/bash
# Start-up of the window under Xvfb: the time from exec to the first paint of
# the main window, and the peak resident memory (VmHWM) at that moment, for
# four programs in the same run:
#   ours, plain      bench_startup_program (the desktop program's start-up with
#                    the hook) with a plain sample database in its settings
#   ours, encrypted  the same with an encrypted sample and its Password
#   empty QDialog    bench_startup_baseline: Qt Widgets and one empty dialog
#   Japanese QLabel  bench_startup_baseline_label: that dialog with one label of
#                    Japanese text in the program's dialog font
# One warm-up round, then RUNS rounds (default 9, at least 7), the four in
# turn, forwards in one round and backwards in the next; medians, and the
# ratios of ours to both yardsticks.
# Targets for ours, plain and encrypted alike: first paint within 300 ms and
# within 1.30 times the Japanese-label dialog's, peak memory within 80 MiB.
#
#   bench/startup.sh [BUILD_DIR]
#
# The programs come from BUILD_DIR (default: the newest build* folder of the
# repository that has them all). They print their measurement through the
# MIVOTRA_EXIT_AFTER_FIRST_PAINT hook (bench/support/FirstPaintExit.h). Exit
# status 1 when a target is missed, 2 when the measurement itself fails.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-}
targets="bench_startup_program bench_startup_baseline bench_startup_baseline_label"
if [[ -z $build ]]; then
  for candidate in $(ls -dt "$repo"/build*/ 2>/dev/null); do
    if [[ -x $candidate/bench/bench_startup_program && -x $candidate/bench/bench_startup_baseline &&
      -x $candidate/bench/bench_startup_baseline_label ]]; then
      build=${candidate%/}
      break
    fi
  done
fi
app=$build/bench/bench_startup_program
baseline=$build/bench/bench_startup_baseline
label=$build/bench/bench_startup_baseline_label
sample=$build/src/mivotra-sample-db
patch=$build/src/mivotra-patch
for program in "$app" "$baseline" "$label" "$sample" "$patch"; do
  if [[ ! -x $program ]]; then
    echo "$program not found; build it: cmake --build <build dir> --target $targets" \
      "mivotra-sample-db mivotra-patch" >&2
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
export XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset WAYLAND_DISPLAY
# No session bus, as in the end-to-end test: no time spent looking for one.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-session-bus"
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# Settings of their own for each database the program opens: the plain one
# with an empty Password, the encrypted one with its password in the quotes
# the settings file keeps it in.
password=bench-secret-2009
"$sample" "$work/data1.mdb" >/dev/null
MIVOTRA_BENCH_PASSWORD=$password "$sample" --password-env MIVOTRA_BENCH_PASSWORD \
  "$work/data2.mdb" >/dev/null
settings() {  # settings FOLDER FILENAME PASSWORD
  mkdir -p "$1/MIVOTRA"
  printf '[DATABASE]\nFileName="%s"\nPathName="%s/"\nPassword="%s"\n' "$2" "$work" "$3" \
    >"$1/MIVOTRA/MIVOTRA.conf"
}
settings "$work/config-plain" data1 ""
settings "$work/config-encrypted" data2 "$password"
mkdir -p "$work/config-none"
# A wrong settings file would time the program's refusal, not its start-up:
# the console program rehearses the update from the same settings first.
for config in plain encrypted; do
  XDG_CONFIG_HOME=$work/config-$config "$patch" --dry-run >"$work/dry-run.log" 2>&1 || {
    echo "the $config database does not open from its settings:" >&2
    cat "$work/dry-run.log" >&2
    exit 2
  }
done

# measure NAME CONFIG PROGRAM: one start with the settings folder CONFIG;
# appends "ms kb" to $work/NAME.
measure() {
  local line ms kb
  line=$(XDG_CONFIG_HOME=$work/config-$2 MIVOTRA_EXIT_AFTER_FIRST_PAINT=$EPOCHREALTIME \
    timeout 60 "$3" 2>&1 >/dev/null | grep '^first-paint-ms ') ||
    { echo "$3 did not report its first paint" >&2 && exit 2; }
  read -r _ ms _ kb <<<"$line"
  echo "$ms $kb" >>"$work/$1"
}
one() {  # one NAME: the start that NAME stands for
  case $1 in
    plain) measure plain plain "$app" ;;
    encrypted) measure encrypted encrypted "$app" ;;
    empty) measure empty none "$baseline" ;;
    label) measure label none "$label" ;;
  esac
}
names=(plain encrypted empty label)
round() {  # round BACKWARDS: the four once, in the order of names or the reverse
  local i
  if (($1 == 0)); then
    for ((i = 0; i < ${#names[@]}; i++)); do one "${names[i]}"; done
  else
    for ((i = ${#names[@]} - 1; i >= 0; i--)); do one "${names[i]}"; done
  fi
}

round 0 # warm-up: font and shader caches, the disk cache of the libraries
rm -f "${names[@]/#/$work/}"
for ((i = 0; i < runs; i++)); do round $((i % 2)); done

median() {  # median FILE COLUMN
  cut -d' ' -f"$2" "$1" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
args=()
for name in "${names[@]}"; do
  args+=(-v "${name}_ms=$(median "$work/$name" 1)" -v "${name}_kb=$(median "$work/$name" 2)"
    -v "${name}_runs=$(cut -d' ' -f1 "$work/$name" | tr '\n' ' ')")
done

awk "${args[@]}" -v runs="$runs" '
function row(name, ms, mib) { printf "%-36s %18.1f %16.1f\n", name, ms, mib }
function ratio(name, a, b, ak, bk) { printf "%-36s %18.2f %16.2f\n", name, a / b, ak / bk }
BEGIN {
  printf "Start-up under Xvfb, median of %d runs (after one warm-up)\n", runs
  printf "%-36s %18s %16s\n", "", "first paint (ms)", "peak RSS (MiB)"
  row("ours, plain database", plain_ms, plain_kb / 1024)
  row("ours, encrypted database", encrypted_ms, encrypted_kb / 1024)
  row("baseline (empty QDialog)", empty_ms, empty_kb / 1024)
  row("baseline (Japanese QLabel)", label_ms, label_kb / 1024)
  ratio("ratio plain / empty QDialog", plain_ms, empty_ms, plain_kb, empty_kb)
  ratio("ratio encrypted / empty QDialog", encrypted_ms, empty_ms, encrypted_kb, empty_kb)
  ratio("ratio plain / Japanese QLabel", plain_ms, label_ms, plain_kb, label_kb)
  ratio("ratio encrypted / Japanese QLabel", encrypted_ms, label_ms, encrypted_kb, label_kb)
  printf "%-36s %18s %16s\n", "target for ours (plain, encrypted)", "<= 300", "<= 80"
  printf "%-36s %18s\n", "target ratio ours / Japanese QLabel", "<= 1.30"
  printf "runs, ms: plain     %s\n          encrypted %s\n", plain_runs, encrypted_runs
  printf "          empty     %s\n          label     %s\n", empty_runs, label_runs
  missed = (plain_ms > 300) + (plain_kb / 1024 > 80) + (plain_ms / label_ms > 1.30)
  missed += (encrypted_ms > 300) + (encrypted_kb / 1024 > 80) + (encrypted_ms / label_ms > 1.30)
  print missed ? "a target is missed" : "targets met"
  exit missed ? 1 : 0
}'
