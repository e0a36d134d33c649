#!/usr/bin/env bash
# A whole console update of a 2,000,000-row sample against the shell script a
# careful administrator would write for the same work: cp, sync, then the
# sqlcipher shell running the same changes in one transaction.
# Usage: bench/whole_update.sh [BUILD_DIR] [ROWS] [ROUNDS]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
rows=${2:-2000000}
rounds=${3:-5}
work=$(mktemp -d "${TMPDIR:-/var/tmp}/mivotra-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY

"$build/src/mivotra-sample-db" --kumi-rows "$rows" "$work/sample.mdb"

# The same changes in SQLite's own dialect.
cat >"$work/patch.sql" <<'SQL'
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

now() { date +%s.%N; }
ours=() theirs=() peak=() theirpeak=()
for ((i = 0; i < rounds; i++)); do
  for side in ours theirs; do
    rm -rf "$work/run-db" && mkdir "$work/run-db"
    cp "$work/sample.mdb" "$work/run-db/data.mdb" && sync
    if [[ $side == ours ]]; then
      start=$(now)
      /usr/bin/time -f %M -o "$work/rss" "$build/src/mivotra-patch" --database "$work/run-db/data.mdb" >/dev/null 2>&1
      ours+=("$(echo "$(now) - $start" | bc)")
      peak+=("$(cat "$work/rss")")
    else
      start=$(now)
      mkdir "$work/run-db/backup"
      cp "$work/run-db/data.mdb" "$work/run-db/backup/dataver_1_06backup.mdb"
      sync "$work/run-db/backup/dataver_1_06backup.mdb"
      /usr/bin/time -f %M -o "$work/rss" sqlcipher "$work/run-db/data.mdb" <"$work/patch.sql" >/dev/null
      theirs+=("$(echo "$(now) - $start" | bc)")
      theirpeak+=("$(cat "$work/rss")")
    fi
  done
done

median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
m_ours=$(median "${ours[@]}")
m_theirs=$(median "${theirs[@]}")
m_peak=$(median "${peak[@]}")
m_theirpeak=$(median "${theirpeak[@]}")
size=$(stat -c %s "$work/sample.mdb")
printf 'whole update, %s rows (%d MiB), median of %d\n' "$rows" $((size >> 20)) "$rounds"
printf '  mivotra-patch            %8.3f s   peak RSS %d MiB\n' "$m_ours" $((m_peak / 1024))
printf '  cp+sync+sqlcipher shell  %8.3f s   peak RSS %d MiB (baseline)\n' "$m_theirs" $((m_theirpeak / 1024))
printf '  ratio ours/baseline      %8.3f   (target <= 1.15)\n' "$(echo "$m_ours / $m_theirs" | bc -l)"
