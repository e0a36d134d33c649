#!/usr/bin/env bash
# A whole console update of a 2,000,000-row sample against the shell script a
# careful administrator would write for the same work: cp, sync, then the
# sqlcipher shell running the same changes in one transaction. The two sides
# take turns in every round; medians of the time, the peak memory and the
# bytes written.
# Usage: bench/whole_update.sh [BUILD_DIR] [ROWS] [ROUNDS] [plain|encrypted]
# (the mode may also come from MODE; default plain). Encrypted: the sample is
# written with a password, ours takes it through --password-env, the shell
# through PRAGMA key.
# Bytes written are the kernel's count of file-system output (/usr/bin/time
# %O, 512-byte blocks): the backup copy, journals and temporary files all
# count, whether or not they reach the disk before they are deleted.
# Targets for ours: time <= 0.60 of the baseline's, peak RSS < 50 MiB, bytes
# written <= 3.0 times the database file. Exit status 1 when one is missed.
# A third side, the floor, is the baseline's script with both rate corrections
# in one UPDATE (one scan of the table, each row written once): the least time
# a copy plus SQLite's journalled update can take, whatever the program. It
# shows how near the time target can come; it is no target itself.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
rows=${2:-2000000}
rounds=${3:-5}
mode=${4:-${MODE:-plain}}
case $mode in
  plain | encrypted) ;;
  *) echo "mode must be plain or encrypted, not '$mode'" >&2 && exit 2 ;;
esac
work=$(mktemp -d "${TMPDIR:-/var/tmp}/mivotra-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY

# Quote-free, so that it goes into the SQL literal as it is.
export MIVOTRA_BENCH_PASSWORD=bench-secret-2009
password_args=() key_sql=
if [[ $mode == encrypted ]]; then
  password_args=(--password-env MIVOTRA_BENCH_PASSWORD)
  key_sql="PRAGMA key = '$MIVOTRA_BENCH_PASSWORD';"
fi

"$build/src/mivotra-sample-db" --kumi-rows "$rows" "${password_args[@]}" "$work/sample.mdb"

# The same changes in SQLite's own dialect, after the key when there is one.
{
  [[ -n $key_sql ]] && echo "$key_sql"
  cat <<'SQL'
BEGIN IMMEDIATE;
CREATE TABLE t_expense_nexco_riyou (ExpenseNexcoRiyouID INTEGER PRIMARY KEY AUTOINCREMENT, LowerKingaku INTEGER NOT NULL, UpperKingaku INTEGER NOT NULL, ExpenseNexcoRate DOUBLE NOT NULL, CreateDateTime DATETIME NOT NULL, UpdateDateTime DATETIME DEFAULT NULL);
CREATE UNIQUE INDEX idx_xpnsnxcry_lowerkingaku ON t_expense_nexco_riyou (LowerKingaku);
CREATE UNIQUE INDEX idx_xpnsnxcry_upperkingaku ON t_expense_nexco_riyou (UpperKingaku);
INSERT INTO t_expense_nexco_riyou (ExpenseNexcoRiyouID, LowerKingaku, UpperKingaku, ExpenseNexcoRate, CreateDateTime) VALUES (1, 0, 99999999, 0.0, datetime('now', 'localtime'));
CREATE TABLE t_sofu_syukin_code (SofuSyukinCodeID INTEGER PRIMARY KEY AUTOINCREMENT, SofuID INTEGER NOT NULL CONSTRAINT FK_SOFUSYUKINCODE_SOFUID REFERENCES t_sofu (SofuID), SofuSyukinCode VARCHAR(20) NOT NULL CHECK (length(SofuSyukinCode) <= 20), CreateDateTime DATETIME NOT NULL, UpdateDateTime DATETIME DEFAULT NULL);
CREATE INDEX idx_sofusyukincode_sofusyukincode ON t_sofu_syukin_code (SofuSyukinCode);
CREATE UNIQUE INDEX idx_sofusyukincode_sofuid ON t_sofu_syukin_code (SofuID);
UPDATE t_kumi_rate SET KumiRateTypeID = 1 WHERE KodanID = 2 AND KumiRateTypeID <> 1;
UPDATE t_kumi_rate SET KumiUpperRateTypeID = KumiLowerRateTypeID WHERE KodanID = 2 AND KumiUpperRateTypeID <> KumiLowerRateTypeID;
INSERT INTO t_db_ver (DBVerID, DBVerCode, DBPatchDate, UpdateDateTime) VALUES (7, '1.07', '2009-11-04 00:00:00', datetime('now', 'localtime'));
CREATE TABLE t_db_ver_comment (DBVerCommentID INTEGER PRIMARY KEY AUTOINCREMENT, DBVerID INTEGER NOT NULL CONSTRAINT FK_VERCOMMENT_DBVERID REFERENCES t_db_ver (DBVerID), DBVerComment VARCHAR(255), UpdateDateTime DATETIME);
INSERT INTO t_db_ver_comment (DBVerID, DBVerComment, UpdateDateTime) VALUES (7, '1.振替用コードテーブル追加', datetime('now', 'localtime'));
INSERT INTO t_db_ver_comment (DBVerID, DBVerComment, UpdateDateTime) VALUES (7, '2.NEXCO大口先調整額登録用テーブル追加', datetime('now', 'localtime'));
COMMIT;
SQL
} >"$work/patch.sql"
# The floor's script: the two rate corrections as one statement.
awk '/^UPDATE t_kumi_rate SET KumiRateTypeID/ {
       print "UPDATE t_kumi_rate SET KumiRateTypeID = CASE WHEN KumiRateTypeID <> 1 THEN 1 ELSE KumiRateTypeID END, KumiUpperRateTypeID = CASE WHEN KumiUpperRateTypeID <> KumiLowerRateTypeID THEN KumiLowerRateTypeID ELSE KumiUpperRateTypeID END WHERE KodanID = 2 AND (KumiRateTypeID <> 1 OR KumiUpperRateTypeID <> KumiLowerRateTypeID);"
       next }
     /^UPDATE t_kumi_rate SET KumiUpperRateTypeID/ { next }
     { print }' "$work/patch.sql" >"$work/fused.sql"
[[ $(grep -c "^UPDATE t_kumi_rate" "$work/fused.sql") == 1 ]] || { echo "the floor's script lost its UPDATE" >&2 && exit 2; }

# A side that fails quietly would win the race, so each run must leave 1.07.
check_updated() {
  local version
  version=$({
    [[ -n $key_sql ]] && echo "$key_sql"
    echo "SELECT DBVerCode FROM t_db_ver WHERE DBVerID = 7;"
  } | sqlcipher "$1" | grep -v '^ok$')
  [[ $version == 1.07 ]] || { echo "$2 left no version 1.07 in $1" >&2 && exit 2; }
}

# timed FILE COMMAND...: runs COMMAND under /usr/bin/time, which writes
# "peak-RSS-KiB output-blocks" to FILE.
timed() {
  local out=$1
  shift
  /usr/bin/time -f '%M %O' -o "$out" "$@"
}

now() { date +%s.%N; }
ours=() theirs=() floor=() peak=() theirpeak=() written=() theirwritten=()
for ((i = 0; i < rounds; i++)); do
  for side in ours theirs floor; do
    rm -rf "$work/run-db" && mkdir "$work/run-db"
    cp "$work/sample.mdb" "$work/run-db/data.mdb" && sync
    if [[ $side == ours ]]; then
      start=$(now)
      timed "$work/io-ours" "$build/src/mivotra-patch" --database "$work/run-db/data.mdb" \
        "${password_args[@]}" >"$work/ours.log" 2>&1 || { cat "$work/ours.log" >&2 && exit 2; }
      ours+=("$(echo "$(now) - $start" | bc)")
      read -r kb blocks <"$work/io-ours"
      peak+=("$kb")
      written+=($((blocks * 512)))
    else
      # The baseline and the floor: the same copy, each its own script.
      script=$work/patch.sql
      [[ $side == floor ]] && script=$work/fused.sql
      start=$(now)
      mkdir "$work/run-db/backup"
      timed "$work/io-cp" cp "$work/run-db/data.mdb" "$work/run-db/backup/dataver_1_06backup.mdb"
      sync "$work/run-db/backup/dataver_1_06backup.mdb"
      timed "$work/io-shell" sqlcipher "$work/run-db/data.mdb" <"$script" >/dev/null
      elapsed=$(echo "$(now) - $start" | bc)
      if [[ $side == floor ]]; then
        floor+=("$elapsed")
      else
        theirs+=("$elapsed")
        read -r cp_kb cp_blocks <"$work/io-cp"
        read -r kb blocks <"$work/io-shell"
        theirpeak+=($((kb > cp_kb ? kb : cp_kb)))
        theirwritten+=($(((blocks + cp_blocks) * 512)))
      fi
    fi
    ((i > 0)) || check_updated "$work/run-db/data.mdb" "$side"
  done
done

median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
m_ours=$(median "${ours[@]}")
m_theirs=$(median "${theirs[@]}")
m_floor=$(median "${floor[@]}")
m_peak=$(median "${peak[@]}")
m_theirpeak=$(median "${theirpeak[@]}")
m_written=$(median "${written[@]}")
m_theirwritten=$(median "${theirwritten[@]}")
# The spread of each side's times: fastest and slowest round.
spread() { printf '%s\n' "$@" | sort -g | awk 'NR == 1 {lo = $1} {hi = $1} END {printf "%.3f-%.3f s", lo, hi}'; }
s_ours=$(spread "${ours[@]}")
s_theirs=$(spread "${theirs[@]}")
s_floor=$(spread "${floor[@]}")
size=$(stat -c %s "$work/sample.mdb")
awk -v mode="$mode" -v rows="$rows" -v rounds="$rounds" -v size="$size" \
  -v ot="$m_ours" -v tt="$m_theirs" -v ft="$m_floor" -v fs="$s_floor" -v ok="$m_peak" -v tk="$m_theirpeak" \
  -v ow="$m_written" -v tw="$m_theirwritten" -v os="$s_ours" -v ts="$s_theirs" '
function amount(bytes) {
  return bytes >= 2^30 ? sprintf("%.2f GiB", bytes / 2^30) : sprintf("%.1f MiB", bytes / 2^20)
}
BEGIN {
  printf "whole update, %s, %d rows (%.1f MiB), median of %d\n", mode, rows, size / 2^20, rounds
  printf "  mivotra-patch            %8.3f s   peak RSS %d MiB   written %s = %.2f x file   rounds %s\n",
    ot, ok / 1024, amount(ow), ow / size, os
  printf "  cp+sync+sqlcipher shell  %8.3f s   peak RSS %d MiB   written %s = %.2f x file (baseline)   rounds %s\n",
    tt, tk / 1024, amount(tw), tw / size, ts
  printf "  floor: same, one UPDATE  %8.3f s   rounds %s\n", ft, fs
  printf "  ratio ours/baseline      %8.3f   (target <= 0.60)\n", ot / tt
  printf "  ratio floor/baseline     %8.3f\n", ft / tt
  printf "  written ours/baseline    %8.3f\n", ow / tw
  printf "  written ours/file size   %8.3f   (target <= 3.0)\n", ow / size
  printf "  peak RSS ours            %8.1f MiB (target < 50)\n", ok / 1024
  missed = (ot / tt > 0.60) + (ok / 1024 >= 50) + (ow / size > 3.0)
  print missed ? "  a target is missed" : "  targets met"
  exit missed ? 1 : 0
}'
