#!/bin/bash
# Backup copy throughput: ShellCopyFile against `cp` + `sync` of the copy, on
# the disk that holds the given folder (default /var/tmp), 1 GiB, 5 rounds,
# median of each side and the ratio ours/theirs.
#
#   bench/backup_copy.sh [BUILD_DIR] [FOLDER] [extra options for the program]
#
# The program is bench_backup_copy from BUILD_DIR (default: the newest
# build*/bench/bench_backup_copy in the repository). It needs about 3 GiB free.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-}
if [[ -z $build ]]; then
  build=$(ls -dt "$repo"/build*/bench/bench_backup_copy 2>/dev/null | head -1 | xargs -r dirname | xargs -r dirname)
fi
program=$build/bench/bench_backup_copy
if [[ ! -x $program ]]; then
  echo "bench_backup_copy not found; build it: cmake --build <build dir> --target bench_backup_copy" >&2
  exit 2
fi
parent=${2:-/var/tmp}
shift $(( $# > 2 ? 2 : $# ))

work=$(mktemp -d "$parent/mivotra-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
"$program" --size-mib "${SIZE_MIB:-1024}" --runs "${RUNS:-5}" "$@" "$work"
