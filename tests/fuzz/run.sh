#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz/CMakeLists.txt, with clang) and runs
# each for a bounded time on a fresh copy of its seed corpus. Any crash, hang,
# leak or sanitizer report fails the run; the input that caused it is kept in
# <build>/artifacts/ and printed as a reproduction command.
#   tests/fuzz/run.sh [BUILD_DIR] [TARGET...]    (default: build-fuzzers, all)
#   MIVOTRA_FUZZ_SECONDS  time per target (default 20)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build-fuzzers}
shift || true
seconds=${MIVOTRA_FUZZ_SECONDS:-20}

CC=clang CXX=clang++ cmake -S "$root/tests/fuzz" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j"$(nproc)"

targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  for exe in "$build"/fuzz_*; do
    [[ -x $exe && -f $exe ]] && targets+=("$(basename "$exe" | sed 's/^fuzz_//')")
  done
fi

work="$build/work"
artifacts="$build/artifacts"
rm -rf "$work"
mkdir -p "$work" "$artifacts"
# The same strictness as the sanitizer stage: stop at the first report.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=1:print_stacktrace=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
failed=()
for name in "${targets[@]}"; do
  exe="$build/fuzz_$name"
  seeds="$root/tests/fuzz/corpus/$name"
  corpus="$work/$name"
  mkdir -p "$corpus"
  # A copy: libFuzzer adds what it finds to its first corpus folder.
  [[ -d $seeds ]] && cp -r "$seeds/." "$corpus/"
  # A dictionary of the input's words, where the target has one.
  dict=()
  [[ -f $root/tests/fuzz/$name.dict ]] && dict=(-dict="$root/tests/fuzz/$name.dict")
  log="$work/$name.log"
  echo "fuzz_$name: ${seconds}s on $(ls "$corpus" | wc -l) seeds"
  # -timeout: one input that runs this long is a hang; -rss_limit_mb catches runaway memory.
  if "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
      -print_final_stats=1 -artifact_prefix="$artifacts/${name}-" "${dict[@]}" "$corpus" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units' "$log" | sed "s/^/  /" || true
  else
    failed+=("$name")
    echo "fuzz_$name FAILED; last lines of $log:" >&2
    tail -n 60 "$log" >&2
    for artifact in "$artifacts/${name}-"*; do
      [[ -e $artifact ]] && echo "  reproduce: $exe $artifact" >&2
    done
  fi
done
if [[ ${#failed[@]} -gt 0 ]]; then
  echo "fuzz targets failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz targets passed: ${targets[*]}"
