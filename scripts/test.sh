#!/usr/bin/env bash
# Builds the program and runs the whole test suite. Installs what it needs.
# A formatting check, then six stages, each in its own build folder:
#   plain  the suite on the ordinary build (build/)
#   filesystems the console's update and dry run on small images of xfs,
#          btrfs, exFAT and NTFS (through FUSE, default options), FAT (fusefat)
#          and a tmpfs, each against its invariant (tests/e2e/test_filesystems.sh,
#          the programs of build/; as root)
#   asan   the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer
#          (build-asan/); any report, leaks included, fails the test that made it
#   fuzz   the libFuzzer targets of tests/fuzz, each for a bounded time (build-fuzzers/)
#   package the Debian packages (scripts/package.sh, build-deb/) checked by lintian,
#          appstreamcli, desktop-file-validate and man, then unpacked into a
#          scratch root and run from there (tests/e2e/test_package.sh)
#   debian13 plain and package again on Debian 13, in a minimal root that
#          debootstrap makes from the machine's own Debian archive
#          (scripts/debian13.sh, build-debian13/; kept between runs, made
#          afresh with CI=true)
# MIVOTRA_TEST_STAGES picks stages for a quick local run (default
# "format plain filesystems asan fuzz package debian13");
# MIVOTRA_FUZZ_SECONDS sets the time per fuzz target (default 20). Arguments go
# to ctest. Every chosen stage runs even when an earlier one failed, so one run
# tells all; the exit status is non-zero when any failed.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/ensure-deps.sh" --test || exit 1

stages=${MIVOTRA_TEST_STAGES:-format plain filesystems asan fuzz package debian13}
jobs=$(nproc)
failed=()
timings=()
summary=""  # the ctest log whose summary closes the output

# Configures and builds one folder, then runs ctest there with its output kept
# in <folder>/ctest.log.
build_and_test() {
  local build=$1
  shift
  rm -f "$build/ctest.log"
  [[ -n $summary ]] || summary="$build/ctest.log"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null &&
    cmake --build "$build" -j"$jobs" &&
    (cd "$build" && ctest --output-on-failure -j"$jobs" "${ctest_args[@]}" 2>&1 |
      tee "$build/ctest.log")
}

# Every C++ file as .clang-format has it (clang-format names a file that
# differs, and the line), and every folder of src/ including only what it may.
stage_format() {
  (cd "$root" && git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror) &&
    bash "$root/scripts/check-layers.sh"
}

stage_plain() { build_and_test "$root/build"; }

# Only the two programs it runs are built (the plain stage, when it ran
# first, built them already).
stage_filesystems() {
  local build=$root/build
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null &&
    cmake --build "$build" -j"$jobs" --target mivotra-patch mivotra-sample-db >/dev/null &&
    MIVOTRA_BIN=$build/src bash "$root/tests/e2e/test_filesystems.sh"
}

stage_asan() {
  # Stop at the first report and fail the test; the suppressions name only
  # system libraries (see the file).
  local supp="$root/tests/sanitizer/lsan.supp"
  ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:print_stacktrace=1" \
  LSAN_OPTIONS="suppressions=$supp:print_suppressions=0" \
  UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
    build_and_test "$root/build-asan" -DMIVOTRA_SANITIZE=ON
}

stage_fuzz() { bash "$root/tests/fuzz/run.sh" "$root/build-fuzzers"; }

# The build's output is kept in build-deb/package.log and shown only when it fails.
stage_package() {
  local log="$root/build-deb/package.log"
  mkdir -p "$root/build-deb"
  if ! MIVOTRA_JOBS=$jobs bash "$root/scripts/package.sh" >"$log" 2>&1; then
    cat "$log"
    return 1
  fi
  bash "$root/tests/e2e/test_package.sh" "$root/build-deb/packages"
}

stage_debian13() { bash "$root/scripts/debian13.sh" "${ctest_args[@]}"; }

ctest_args=("$@")
for stage in $stages; do
  if ! declare -F "stage_$stage" >/dev/null; then
    echo "unknown test stage '$stage' (known: format plain filesystems asan fuzz package debian13)" >&2
    exit 2
  fi
done
for stage in $stages; do
  echo "=== stage $stage"
  start=$SECONDS
  if ! "stage_$stage"; then failed+=("$stage"); fi
  timings+=("$stage $((SECONDS - start))s")
done

echo "=== stage times: ${timings[*]}"
if [[ ${#failed[@]} -gt 0 ]]; then echo "=== failed stages: ${failed[*]}"; fi
# The closing lines stay ctest's summary of the ordinary build (or of the
# first suite that ran), as readers of this script's output expect.
if [[ -n $summary && -f $summary ]]; then sed -n '/tests passed, /,$p' "$summary"; fi
[[ ${#failed[@]} -eq 0 ]]
