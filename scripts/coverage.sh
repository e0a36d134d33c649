#!/usr/bin/env bash
# What the programs reach as their users run them: the share of the lines of
# each folder of src/ that a build with coverage (build-coverage/) runs under
# the end-to-end scripts, the fault sweeps and the filesystems stage, and
# nothing else (the unit tests call the code from inside, where no user can).
#   scripts/coverage.sh            the table, one row a folder, and the total
#   scripts/coverage.sh --files    also every file, least reached first
#   scripts/coverage.sh --report [--files]   the table again from the last runs
# Takes about as long as the plain stage's sweeps.
# Under coverage the allocation sweeps (sweep/oom*) and sweep/library report
# failures of their own: gcov writes its counts at exit with malloc, which the
# sweep's fault library fails, and the counted allocations differ. The lines
# their runs reached are counted all the same.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/ensure-deps.sh" --test
if ! command -v lcov >/dev/null; then
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq lcov >/dev/null
fi

build=$root/build-coverage
info=$build/coverage.info
report_only=
if [[ ${1:-} == --report ]]; then
  report_only=yes
  shift
fi
if [[ -z $report_only ]]; then
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_FLAGS=--coverage -DCMAKE_CXX_FLAGS="--coverage -O1" \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
find "$build" -name '*.gcda' -delete
(cd "$build" && ctest -j"$(nproc)" -R '^(e2e|sweep)/' --output-on-failure >"$build/coverage-runs.log" 2>&1) ||
  echo "coverage: some runs failed, see $build/coverage-runs.log" >&2
MIVOTRA_BIN=$build/src bash "$root/tests/e2e/test_filesystems.sh" >>"$build/coverage-runs.log" 2>&1 ||
  echo "coverage: the filesystems runs failed, see $build/coverage-runs.log" >&2

lcov --quiet --capture --directory "$build" --output-file "$info" --include "$root/src/*" 2>/dev/null
fi
# Lines instrumented (DA:line,count) and reached (count > 0) per file, summed
# per folder of src/; a header's lines count once however many files include it.
awk -v src="$root/src/" '
  /^SF:/ { file = substr($0, 4); sub(src, "", file) }
  /^DA:/ {
    split(substr($0, 4), da, ",")
    key = file SUBSEP da[1]
    if (!(key in seen)) { seen[key] = 0; lf[file]++ }
    if (da[2] > 0 && !seen[key]) { seen[key] = 1; lh[file]++ }
  }
  END {
    for (f in lf) {
      folder = f; sub(/\/.*/, "", folder)
      flf[folder] += lf[f]; flh[folder] += lh[f]; tlf += lf[f]; tlh += lh[f]
      printf "file %6.1f %% %5d of %5d  src/%s\n", 100 * lh[f] / lf[f], lh[f], lf[f], f
    }
    for (d in flf) printf "folder | src/%s/ | %d | %d | %.1f %% |\n", d, flf[d], flh[d], 100 * flh[d] / flf[d]
    printf "total | all of src/ | %d | %d | %.1f %% |\n", tlf, tlh, 100 * tlh / tlf
  }' "$info" >"$build/coverage.txt"
echo "| folder | lines | reached | share |"
echo "|---|---|---|---|"
grep '^folder ' "$build/coverage.txt" | sort | cut -d' ' -f2-
grep '^total ' "$build/coverage.txt" | cut -d' ' -f2-
if [[ ${1:-} == --files ]]; then grep '^file ' "$build/coverage.txt" | sort -k2 -n | cut -d' ' -f2-; fi
