#!/bin/bash
# Who else has the database open: one scan of FindOtherDatabaseUser against
# `fuser FILE` (psmisc), with 300 sleeping processes of 8 open files each,
# 21 rounds, median of each side and the ratio ours/theirs (target <= 1.00).
#
#   bench/database_users.sh [BUILD_DIR] [FOLDER] [extra options for the program]
#
# The program is bench_database_users from BUILD_DIR (default: the newest
# build*/bench/bench_database_users in the repository). PROCESSES, FILES and
# RUNS override the numbers. It takes a few seconds.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-}
if [[ -z $build ]]; then
  build=$(ls -dt "$repo"/build*/bench/bench_database_users 2>/dev/null | head -1 | xargs -r dirname | xargs -r dirname)
fi
program=$build/bench/bench_database_users
if [[ ! -x $program ]]; then
  echo "bench_database_users not found; build it: cmake --build <build dir> --target bench_database_users" >&2
  exit 2
fi
command -v fuser >/dev/null || { echo "fuser is missing (Debian package psmisc)" >&2; exit 2; }
parent=${2:-/var/tmp}
shift $(( $# > 2 ? 2 : $# ))

work=$(mktemp -d "$parent/mivotra-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
"$program" --processes "${PROCESSES:-300}" --files "${FILES:-8}" --runs "${RUNS:-21}" "$@" "$work"
