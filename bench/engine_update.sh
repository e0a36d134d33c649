#!/bin/bash
# The 1.07 update's two rate corrections on a 1,000,000-row t_kumi_rate:
# our engine against the sqlcipher shell with the same SQL and key, 5 rounds,
# median of each side and the ratio ours/theirs (target <= 1.10).
#
#   bench/engine_update.sh [BUILD_DIR] [FOLDER] [extra options for the program]
#
# The program is bench_engine_update from BUILD_DIR (default: the newest
# build*/bench/bench_engine_update in the repository). ROWS and RUNS override
# the size and the number of rounds. It needs about 250 MB free in FOLDER
# (default /var/tmp) and takes a few minutes.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-}
if [[ -z $build ]]; then
  build=$(ls -dt "$repo"/build*/bench/bench_engine_update 2>/dev/null | head -1 | xargs -r dirname | xargs -r dirname)
fi
program=$build/bench/bench_engine_update
if [[ ! -x $program ]]; then
  echo "bench_engine_update not found; build it: cmake --build <build dir> --target bench_engine_update" >&2
  exit 2
fi
command -v sqlcipher >/dev/null || { echo "the sqlcipher shell is missing (Debian package sqlcipher)" >&2; exit 2; }
parent=${2:-/var/tmp}
shift $(( $# > 2 ? 2 : $# ))

work=$(mktemp -d "$parent/mivotra-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
"$program" --rows "${ROWS:-1000000}" --runs "${RUNS:-5}" "$@" "$work"
