#!/usr/bin/env bash
# The console front end as a user's script calls it: arguments, exit codes,
# what goes to standard output and standard error, and what stays on disk.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

run() {  # run NAME ARGS...: exit code in $status, output in $WORK/NAME.out/.err
  local name=$1
  shift
  # Descriptor 4 is this shell's hold on a database (the in-use case): timeout
  # must not inherit it, or the report may name timeout, under a new number each run.
  timeout 120 "$PATCH" "$@" >"$WORK/$name.out" 2>"$WORK/$name.err" </dev/null 4<&-
  status=$?
}
has() { grep -qF -- "$2" "$WORK/$1"; }

# Usage errors: exit 2 and a word on standard error, nothing run.
usage() {  # usage WHAT WORDS ARGS...: a usage error whose message has WORDS
  local what=$1 words=$2
  shift 2
  run usage "$@"
  check "$what: usage error (2)" test $status -eq 2
  check "$what: says why" has usage.err "$words"
  check "$what: nothing on standard output" test ! -s "$WORK/usage.out"
}
usage "an unknown option" "Unknown option 'bogus'" --bogus
usage "a password on the command line" "never taken from the command line" --password secret
usage "a password with =" "never taken from the command line" --password=secret
usage "an empty password variable name" "--password-env needs a value" --password-env ""
usage "an empty password variable name after =" "--password-env needs a value" --password-env=
usage "an unset password variable" "MIVOTRA_NO_SUCH_VARIABLE is not set" --password-env MIVOTRA_NO_SUCH_VARIABLE
usage "--database twice" "--database is given more than once" --database a.mdb --database=b.mdb
usage "--password-env twice" "--password-env is given more than once" --password-env A --password-env A
usage "--database without its value" "Missing value after '--database'" --database
usage "an empty --database" "--database needs a value" --database=
usage "an argument that is no option" "unexpected argument stray" stray
usage "-- ends the options" "unexpected argument --dry-run" -- --dry-run

# Help and version.
run help --help; check "--help exits 0" test $status -eq 0
check "--help shows the usage" has help.out "Usage: mivotra-patch"
check "--help names the settings file read" has help.out "Settings file: $XDG_CONFIG_HOME/MIVOTRA/MIVOTRA.conf (there is none)"
check "--help names the backup folder" has help.out "データベース更新前データ/"
check "--help names the backup file" has help.out "data1ver_1_06backup.mdb"
check "--help lists the exit statuses" has help.out "3  no database found or opened"
check "--help tells the dry run" has help.out "--dry-run"
check "--help tells --json" has help.out "--json"
version=$(sed -n 's/^project([A-Za-z0-9]* VERSION \([0-9.]*\).*/\1/p' "$(dirname "${BASH_SOURCE[0]}")/../../CMakeLists.txt")
run version --version; check "--version exits 0" test $status -eq 0
check "--version is CMake's project version" test "$(cat "$WORK/version.out")" = "mivotra-patch (MivotraPatch20091109) $version"
check "the sample maker's --version too" test "$("$SAMPLE" --version)" = "mivotra-sample-db (MivotraPatch20091109) $version"

# The sample maker's own options.
"$SAMPLE" --schema-version=1.05 "$WORK/s105.mdb"
check "--schema-version sets the version" test "$(sql "$WORK/s105.mdb" "" "SELECT MAX(DBVerCode) FROM t_db_ver;")" = "1.05"
"$SAMPLE" --kumi-rows 3 --schema-version 1.04 -- "$WORK/-dash.mdb"
check "-- lets a file name start with -" test "$(sql "$WORK/-dash.mdb" "" "SELECT COUNT(*) FROM t_kumi_rate;")" = "3"
"$SAMPLE" --kumi-rows 1 --kumi-rows 2 "$WORK/twice.mdb" 2>"$WORK/twice.err"
check "the sample maker: a repeated option is a usage error (2)" test $? -eq 2
check "and nothing is written" test ! -e "$WORK/twice.mdb"
"$SAMPLE" --password-env "" "$WORK/emptyenv.mdb" 2>/dev/null
check "the sample maker: --password-env \"\" is a usage error (2)" test $? -eq 2
"$SAMPLE" --version 1.05 "$WORK/old.mdb" >/dev/null 2>&1
check "the sample maker's --version takes no schema code" test ! -e "$WORK/old.mdb"

# No database: exit 3, and what was looked at.
run none
check "without settings nothing can be opened (3)" test $status -eq 3
check "the caption says no database is selected" has none.err "データベースが選択されてません"
check "it names the settings file it looked for" has none.err "settings file: $XDG_CONFIG_HOME/MIVOTRA/MIVOTRA.conf (there is none)"
check "it points at --database" has none.err "name the database with --database FILE"
settings gone "$WORK/nowhere/" ""
run gone
check "settings naming a missing file (3)" test $status -eq 3
check "the path tried is named" has gone.err "tried: $WORK/nowhere/gone.mdb (from the settings)"
check "and that nothing is there" has gone.err "reason: there is no file at that path"
rm "$XDG_CONFIG_HOME/MIVOTRA/MIVOTRA.conf"
echo "not a database" >"$WORK/junk.mdb"
run junk --database "$WORK/junk.mdb"
check "a foreign file cannot be opened (3)" test $status -eq 3
check "the failure caption names it" has junk.err "データベース接続に失敗しました - 対象DB名 ･･･ junk.mdb"
check "the foreign file is untouched" test "$(cat "$WORK/junk.mdb")" = "not a database"
check "the path tried follows" has junk.err "tried: $WORK/junk.mdb (from --database)"
check "with the engine's reason" has junk.err "reason: Unrecognized database format"
run junkjson --database="$WORK/junk.mdb" --json
check "--json: no-database" test "$(jq -r '.outcome, .exitStatus, .database' "$WORK/junkjson.out" | tr '\n' ' ')" = "no-database 3 $WORK/junk.mdb "
check "--json: the engine's error code" test "$(jq -r '.error.code' "$WORK/junkjson.out")" = "0x80004005"
check "--json: the engine's description" test "$(jq -r '.error.description' "$WORK/junkjson.out")" = "Unrecognized database format '$WORK/junk.mdb'."

# A full update in a folder whose name has Japanese (with 𠮷, beyond the BMP),
# blanks, quotes, ";" and "#".
dir="$WORK/𠮷田の共有 フォルダ 'a' \"b\"; #1"
mkdir -p "$dir"
"$SAMPLE" "$dir/data1.mdb"
settings data1 "$dir/" ""
cp "$dir/data1.mdb" "$WORK/pristine.mdb"

run dry --dry-run
check "a dry run passes the gate (0)" test $status -eq 0
check "a dry run lists 13 statements" test "$(wc -l <"$WORK/dry.out")" -eq 13
check "a dry run changes nothing" cmp -s "$dir/data1.mdb" "$WORK/pristine.mdb"
check "a dry run makes no backup" test ! -e "$dir/データベース更新前データ"

run full
check "the update succeeds (0)" test $status -eq 0
check "the caption goes to standard error first" \
  test "$(head -n 1 "$WORK/full.err")" = "データベース更新(2009/11/09) - 対象DB名 ･･･ data1.mdb"
check "the backup notice is a block with its caption" has full.err "[2009/11/09]"
check "the success box is a block with its caption" has full.err "[2009/11/09更新]"
check "the statement list is the dry run's list" cmp -s "$WORK/full.out" "$WORK/dry.out"
check "the first line is numbered in three places" test "$(head -c 19 "$WORK/full.out")" = "  1 CREATE TABLE t_"
check "the list ends with a line feed" test "$(tail -c 1 "$WORK/full.out" | od -An -c | tr -d ' ')" = '\n'
check "the database reads 1.07" test "$(sql "$dir/data1.mdb" "" "SELECT MAX(DBVerCode) FROM t_db_ver;")" = "1.07"
backup="$dir/データベース更新前データ/data1ver_1_06backup.mdb"
check "the backup is the database as it was" test "$(dump "$backup")" = "$(dump "$WORK/pristine.mdb")"

run again
check "a second update is refused (1)" test $status -eq 1
check "the refusal names the version found" has again.err "現在のデータベースバージョンは「 1.07 」です。"
check "a refusal prints no statement list" test ! -s "$WORK/again.out"

# A failing patch changes nothing and shows the error window's text.
cp "$WORK/pristine.mdb" "$WORK/fail.mdb"
sql "$WORK/fail.mdb" "" "INSERT INTO t_db_ver (DBVerID, DBVerCode) VALUES (7, '1.05');"
before=$(dump "$WORK/fail.mdb")
run fail --database "$WORK/fail.mdb"
check "a failed patch exits 1" test $status -eq 1
check "the failure is told" has fail.err "更新に失敗しました"
check "the error window text follows its header" has fail.err "[更新エラー内容]"
check "the failing statement is the tenth" has fail.err " 10 INSERT INTO t_db_ver (DBVerID"
check "a failed patch leaves the database as it was" test "$(dump "$WORK/fail.mdb")" = "$before"

# The backup already there.
run exists --database "$WORK/fail.mdb"
check "an existing backup refuses (1)" test $status -eq 1
check "the existing backup is told" has exists.err "すでにバックアップファイルが存在します"
check "and where it is" has exists.err "mivotra-patch: the backup folder is $WORK/データベース更新前データ/"

# Under a Japanese locale (LANG deciding, as on a desktop) every line in the
# programs' own voice is Japanese; the boxes and --json's words stay as they are.
ja() { env -u LC_ALL -u LC_MESSAGES LANG=ja_JP.UTF-8 "$@"; }
ja_case() {  # ja_case NAME STATUS WORDS ARGS...: mivotra-patch under ja_JP.UTF-8
  local name=$1 want=$2 words=$3
  shift 3
  ja timeout 120 "$PATCH" "$@" >"$WORK/ja-$name.out" 2>"$WORK/ja-$name.err" </dev/null
  check "ja, $name: exit $want" test $? -eq "$want"
  check "ja, $name: says $words" grep -qF -- "$words" "$WORK/ja-$name.out" "$WORK/ja-$name.err"
  check "ja, $name: no line of its own in English" bash -c "! grep -E '^(mivotra-patch: |Usage|Try)[ -~]*\$' '$WORK/ja-$name.out' '$WORK/ja-$name.err'"
}
ja_case usage 2 "mivotra-patch: 不明なオプション 'bogus' です。" --bogus
ja_case value 2 "mivotra-patch: '--database' の後に値がありません。" --database
ja_case twice 2 "mivotra-patch: --database が二回以上指定されています" --database a.mdb --database b.mdb
ja_case help 0 "設定ファイル: $XDG_CONFIG_HOME/MIVOTRA/MIVOTRA.conf" --help
ja_case help-backup 0 "(data1.mdb なら データベース更新前データ/data1ver_1_06backup.mdb)" --help
ja_case none 3 "mivotra-patch:   理由: そのパスにファイルがありません" --database "$WORK/nowhere.mdb"
ja_case exists 1 "mivotra-patch: バックアップフォルダは $WORK/データベース更新前データ/ です" --database "$WORK/fail.mdb"
check "ja: the boxes are the same as under C.UTF-8" cmp -s <(grep -v '^mivotra-patch: ' "$WORK/ja-exists.err") <(grep -v '^mivotra-patch: ' "$WORK/exists.err")
ja_case json 1 '"outcome":"refused"' --database "$WORK/fail.mdb" --json
mkdir "$WORK/ja-nokumi" && cp "$WORK/pristine.mdb" "$WORK/ja-nokumi/data1.mdb"
sql "$WORK/ja-nokumi/data1.mdb" "" "DROP TABLE t_kumi_rate;"
ja_case engine 1 "Description : 入力テーブルまたはクエリ 't_kumi_rate' が見つかりません。" --database "$WORK/ja-nokumi/data1.mdb" --dry-run
ja "$SAMPLE" >/dev/null 2>"$WORK/ja-sample.err"
check "ja: the sample maker's usage error (2)" test $? -eq 2
check "ja: in Japanese" has ja-sample.err "mivotra-sample-db: FILE がありません"
check "ja: with its usage" has ja-sample.err "使い方: mivotra-sample-db [オプション]... FILE"

# Passwords come from the environment only.
SAMPLE_PW="it's;#secret" "$SAMPLE" --password-env SAMPLE_PW "$WORK/secret.mdb"
export DB_PW="it's;#secret"
run wrongpw --database "$WORK/secret.mdb"
check "without its password an encrypted database does not open (3)" test $status -eq 3
run rightpw --database "$WORK/secret.mdb" --password-env DB_PW
check "with its password it updates (0)" test $status -eq 0
check "the password is never printed" bash -c "! grep -qF \"it's;#secret\" '$WORK/rightpw.err' '$WORK/wrongpw.err'"

# Either SQLCipher format: a wrong password is refused in the program's own
# words only (SQLCipher's log stays off), the right one updates the file in
# its own format.
export BAD_PW="not it"
for format in 3 4; do
  SAMPLE_PW="it's;#secret" "$SAMPLE" --cipher-compatibility $format --password-env SAMPLE_PW "$WORK/v$format.mdb"
  run "badpw$format" --database "$WORK/v$format.mdb" --password-env BAD_PW
  check "format $format: a wrong password does not open it (3)" test $status -eq 3
  check "format $format: the reason is the program's" has "badpw$format.err" "reason: Not a valid password."
  check "format $format: SQLCipher's own log is not shown" bash -c "! grep -qiE 'hmac|sqlcipher_|ERROR CORE' '$WORK/badpw$format.err'"
  run "v$format" --database "$WORK/v$format.mdb" --password-env DB_PW
  check "format $format: it updates (0)" test $status -eq 0
  check "format $format: it keeps its format" test "$(sql "$WORK/v$format.mdb" "it's;#secret" "PRAGMA cipher_compatibility = $format;
SELECT DBVerCode FROM t_db_ver WHERE DBVerID = 7;")" = 1.07
done
"$SAMPLE" --cipher-compatibility 2 --password-env DB_PW "$WORK/v2.mdb" 2>"$WORK/v2.err"
check "the sample maker takes format 3 or 4 only (2)" test $? -eq 2
check "and writes nothing then" test ! -e "$WORK/v2.mdb"

# A file-size limit stops the backup: the copy fails and nothing is left behind.
mkdir "$WORK/full"
"$SAMPLE" --kumi-rows 40000 "$WORK/full/big.mdb"
before=$(dump "$WORK/full/big.mdb")
( ulimit -f 256; timeout 120 "$PATCH" --database "$WORK/full/big.mdb" >"$WORK/fsize.out" 2>"$WORK/fsize.err" </dev/null )
status=$?
check "a full disk fails the run (1)" test $status -eq 1
check "the copy failure is told" has fsize.err "コピーに失敗しました。"
check "no partial backup is left" test -z "$(ls -A "$WORK/full/データベース更新前データ")"
check "the database is untouched" test "$(dump "$WORK/full/big.mdb")" = "$before"

# A dry run over each way the update ends: the real run's exit status and
# boxes up to where it stops, and nothing on disk changes (the database's
# bytes, its folder's entries, the backup folder). The real run then goes
# over the same file and must end as the rehearsal said.
BF=データベース更新前データ
disk() { md5sum <"$1/data1.mdb"; ls -A "$1"; ls -A "$1/$BF" 2>/dev/null; }
without_last_box() { sed '/^\[2009\/11\/09更新\]$/,$d' "$WORK/$1"; }
dry_case() {  # dry_case NAME STATUS WORDS [ARGS...]: $WORK/dry/NAME/data1.mdb is ready
  local name=$1 want=$2 words=$3 folder="$WORK/dry/$1"
  shift 3
  local before
  before=$(disk "$folder")
  run "dry-$name" --database "$folder/data1.mdb" --dry-run "$@"
  check "dry run, $name: exit $want" test $status -eq "$want"
  check "dry run, $name: says $words" has "dry-$name.err" "$words"
  check "dry run, $name: nothing on disk changed" test "$(disk "$folder")" = "$before"
  run "real-$name" --database "$folder/data1.mdb" "$@"
  check "dry run, $name: the update ends the same way" test $status -eq "$want"
  if [[ $want -eq 0 ]]; then
    check "dry run, $name: the same boxes but the last" test "$(without_last_box "dry-$name.err")" = "$(without_last_box "real-$name.err")"
    check "dry run, $name: the same statement list" cmp -s "$WORK/dry-$name.out" "$WORK/real-$name.out"
  else
    check "dry run, $name: the same boxes" cmp -s "$WORK/dry-$name.err" "$WORK/real-$name.err"
  fi
}
dry_fresh() { mkdir -p "$WORK/dry/$1" && cp "$WORK/pristine.mdb" "$WORK/dry/$1/data1.mdb"; }
dry_sql() { sql "$WORK/dry/$1/data1.mdb" "" "$2" >/dev/null; }

dry_fresh update
dry_case update 0 "予行演習を終了しました"
dry_fresh backup; mkdir "$WORK/dry/backup/$BF"; echo old >"$WORK/dry/backup/$BF/data1ver_1_06backup.mdb"
dry_case backup 1 "すでにバックアップファイルが存在します"
mkdir -p "$WORK/dry/v107"; "$SAMPLE" --schema-version 1.07 "$WORK/dry/v107/data1.mdb"
dry_case v107 1 "現在のデータベースバージョンは「 1.07 」です。"
dry_fresh row7; dry_sql row7 "INSERT INTO t_db_ver (DBVerID, DBVerCode) VALUES (7, '1.05');"
dry_case row7 1 " 10 INSERT INTO t_db_ver (DBVerID"
dry_fresh case; dry_sql case "CREATE TABLE T_SOFU_SYUKIN_CODE (x INTEGER);"
dry_case case 1 "更新に失敗しました"
dry_fresh nosofu; dry_sql nosofu "DROP TABLE t_sofu;"
dry_case nosofu 1 "t_sofu"
dry_fresh noversion; dry_sql noversion "DROP TABLE t_db_ver;"
dry_case noversion 1 "SELECT MAX(DBVerCode) AS MaxDBVerCode FROM t_db_ver;"
# Files the main application's other versions or other hands left unlike
# ours: a rate type that must name a row of another table, a version table
# with a field of its own that must be filled, and one without the primary
# key that the comment table's relationship needs (met when the comment
# table is made, or when a comment is added to the one there already).
dry_fresh ratefk; dry_sql ratefk "CREATE TABLE t_rate_type (RateTypeID INTEGER PRIMARY KEY); INSERT INTO t_rate_type VALUES (2), (3);
  CREATE TABLE k (KumiRateID INTEGER PRIMARY KEY, KodanID INTEGER, KumiRateTypeID INTEGER REFERENCES t_rate_type (RateTypeID), KumiUpperRateTypeID INTEGER, KumiLowerRateTypeID INTEGER, KumiRate DOUBLE, CreateDateTime DATETIME, UpdateDateTime DATETIME);
  INSERT INTO k SELECT KumiRateID, KodanID, KumiRateTypeID, KumiUpperRateTypeID, KumiLowerRateTypeID, KumiRate, CreateDateTime, UpdateDateTime FROM t_kumi_rate; DROP TABLE t_kumi_rate; ALTER TABLE k RENAME TO t_kumi_rate;"
dry_case ratefk 1 "a related record is required in table 't_rate_type'"
ver_table() {  # ver_table NAME COLUMNS EXTRA: t_db_ver made again with COLUMNS, its rows kept
  dry_sql "$1" "CREATE TABLE v ($2); INSERT INTO v SELECT DBVerID, DBVerCode, DBPatchDate, UpdateDateTime$3 FROM t_db_ver;
    DROP TABLE t_db_ver; ALTER TABLE v RENAME TO t_db_ver;"
}
keyless="DBVerID INTEGER, DBVerCode TEXT NOT NULL, DBPatchDate TEXT, UpdateDateTime TEXT"
dry_fresh owner; ver_table owner "DBVerID INTEGER PRIMARY KEY, DBVerCode TEXT NOT NULL, DBPatchDate TEXT, UpdateDateTime TEXT, Owner TEXT NOT NULL" ", 'office'"
dry_case owner 1 "The field 't_db_ver.Owner' cannot contain a Null value"
# A version column of numbers: 1.06 as a double reads "1.1", and the gate refuses it.
dry_fresh numeric; ver_table numeric "DBVerID INTEGER PRIMARY KEY, DBVerCode DOUBLE NOT NULL, DBPatchDate TEXT, UpdateDateTime TEXT" ""
dry_case numeric 1 "現在のデータベースバージョンは「 1.1 」です。"
dry_fresh nokey; ver_table nokey "$keyless" ""
dry_case nokey 1 "No unique index found for the referenced field of the primary table 't_db_ver'"
mkdir -p "$WORK/dry/nokey-comments"; "$SAMPLE" --with-comment-table "$WORK/dry/nokey-comments/data1.mdb" >/dev/null
ver_table nokey-comments "$keyless" ""
dry_case nokey-comments 1 "A relationship of table 't_db_ver_comment' no longer matches a unique index of its related table 't_db_ver'"
dry_fresh blocked; echo "a file" >"$WORK/dry/blocked/$BF"
dry_case blocked 1 "コピーに失敗しました。"
# A database kept in WAL mode goes through a rollback journal for the
# update and gets its log back; the rehearsal switches the same way, which
# moves on only SQLite's change counters in the header (bytes 25-28, 93-96).
dry_fresh wal; dry_sql wal "PRAGMA journal_mode = WAL;"
wal="$WORK/dry/wal/data1.mdb"
cp "$wal" "$WORK/wal-before.mdb"
run dry-wal --database "$wal" --dry-run
check "WAL: the dry run would update (0)" test $status -eq 0
check "WAL: the dry run changes no byte but the counters" test -z "$(cmp -l "$WORK/wal-before.mdb" "$wal" | awk '!(($1 >= 25 && $1 <= 28) || ($1 >= 93 && $1 <= 96))')"
run real-wal --database "$wal"
check "WAL: the update ends as the dry run said (0)" test $status -eq 0
check "WAL: the database reads 1.07" test "$(sql "$wal" "" "SELECT MAX(DBVerCode) FROM t_db_ver;")" = "1.07"
check "WAL: and keeps its WAL mode" test "$(sql "$wal" "" "PRAGMA journal_mode;")" = "wal"
dry_fresh journal; mkdir "$WORK/dry/journal/$BF"; echo x >"$WORK/dry/journal/$BF/data1ver_1_06backup.mdb-journal"
dry_case journal 1 "mivotra-patch: the file data1ver_1_06backup.mdb-journal lies in the backup folder"
dry_fresh inuse
exec 4<"$WORK/dry/inuse/data1.mdb"  # this shell has the database open, as another program would
dry_case inuse 1 "ミボトラ計算ソフトを終了してから再実行してください。"
exec 4<&-
dry_fresh limit
ulimit_run() { ( ulimit -f 16; timeout 120 "$PATCH" "$@" >"$WORK/$name.out" 2>"$WORK/$name.err" </dev/null ); status=$?; }
name=dry-limit; ulimit_run --database "$WORK/dry/limit/data1.mdb" --dry-run
check "dry run under a file-size limit below the database: exit 1" test $status -eq 1
check "with the copy failure" has dry-limit.err "コピーに失敗しました。"
check "and the reason" has dry-limit.err "file size limit"
check "nothing was made" test ! -e "$WORK/dry/limit/$BF"
run dry-none --database "$WORK/dry/none/data1.mdb" --dry-run
check "dry run, no database: exit 3" test $status -eq 3

# --json: one object on standard output, the boxes still on standard error.
json() { jq -r "$2" "$WORK/$1.out"; }
dry_fresh json
run json-dry --database "$WORK/dry/json/data1.mdb" --dry-run --json
check "--json dry run: would-update (0)" test "$status $(json json-dry '.outcome, .exitStatus' | tr '\n' ' ')" = "0 would-update 0 "
check "--json dry run: versions" test "$(json json-dry '.versionBefore + " " + .versionAfter')" = "1.06 1.07"
check "--json dry run: no backup" test "$(json json-dry '.backup')" = "null"
check "--json dry run: 13 statements as executed" test "$(json json-dry '[.statements[] | .step] | join(",")')" = "1,2,3,4,5,6,7,8,9,10,11,12,13"
check "--json: the output is one line of JSON alone" test "$(wc -l <"$WORK/json-dry.out")" -eq 1
check "--json: the boxes still go to standard error" has json-dry.err "[2009/11/09]"
run json-real --database "$WORK/dry/json/data1.mdb" --json
check "--json update: updated (0)" test "$status $(json json-real '.outcome')" = "0 updated"
check "--json update: the backup" test "$(json json-real '.backup')" = "$WORK/dry/json/$BF/data1ver_1_06backup.mdb"
check "--json update: the messages in order" test "$(json json-real '[.messages[] | .caption + "/" + .icon] | join(" ")')" = "2009/11/09/information 2009/11/09更新/none"
check "--json update: the first statement" test "$(json json-real '.statements[0].sql' | head -c 40)" = "CREATE TABLE t_expense_nexco_riyou (Expe"
check "--json update: no error" test "$(json json-real '.error')" = "null"
run json-again --database "$WORK/dry/json/data1.mdb" --json
check "--json refused: refused (1)" test "$status $(json json-again '.outcome + " " + .versionBefore + " " + .versionAfter')" = "1 refused 1.07 1.07"
run json-fail --database "$WORK/dry/row7/data1.mdb" --json  # its backup is there from the real run
check "--json refused at M4" test "$(json json-fail '.outcome + " " + .messages[-1].text')" = "refused すでにバックアップファイルが存在します。バックアップファイルのファイル名を変更してから再度更新作業をして下さい"
rm -r "$WORK/dry/row7/$BF"
run json-fail --database "$WORK/dry/row7/data1.mdb" --json
check "--json failed (1)" test "$status $(json json-fail '.outcome')" = "1 failed"
check "--json failed: the report's error" test "$(json json-fail '.error.code + " " + .error.source')" = "0x80004005 Mivotra Jet engine"
check "--json failed: statements up to the failing one" test "$(json json-fail '.statements | length')" = "10"
check "--json failed: boxes as shown" test "$(json json-fail '[.messages[] | .icon] | join(",")')" = "information,exclamation,none,none"
check "--json failed: the backup it made" test "$(json json-fail '.backup')" = "$WORK/dry/row7/$BF/data1ver_1_06backup.mdb"

# Standard output that cannot be written: a reader gone before the list
# comes (no SIGPIPE death) and a full disk. The update stands and says so.
dry_fresh pipe
perl -e 'pipe(R, W) or die; close R; open(STDOUT, ">&W") or die; exec @ARGV' \
  "$PATCH" --database "$WORK/dry/pipe/data1.mdb" 2>"$WORK/pipe.err" </dev/null
status=$?
check "a closed pipe: still exit 0 (not SIGPIPE)" test $status -eq 0
check "a closed pipe is told" has pipe.err "standard output could not be written (Broken pipe)"
check "the database is updated all the same" test "$(sql "$WORK/dry/pipe/data1.mdb" "" "SELECT MAX(DBVerCode) FROM t_db_ver;")" = "1.07"
dry_fresh devfull
timeout 120 "$PATCH" --database "$WORK/dry/devfull/data1.mdb" >/dev/full 2>"$WORK/devfull.err" </dev/null
check "/dev/full: exit 0" test $? -eq 0
check "/dev/full is told" has devfull.err "standard output could not be written (No space left on device)"
timeout 120 "$PATCH" --database "$WORK/dry/devfull/data1.mdb" --json >/dev/full 2>"$WORK/devfull2.err" </dev/null
check "/dev/full with --json after a refusal: exit 1" test $? -eq 1
check "and told" has devfull2.err "standard output could not be written"

# A path of more than 1,000 bytes of Japanese folder names, far beyond SQLite's 512.
long="$WORK/長い"
while [[ $(printf %s "$long" | wc -c) -lt 1000 ]]; do long="$long/データベースの置き場所"; done
mkdir -p "$long"
"$SAMPLE" "$long/data1.mdb"
check "the sample maker writes there" test -s "$long/data1.mdb"
cp "$long/data1.mdb" "$WORK/long-pristine.mdb"
settings data1 "$long/" ""
run long-dry --dry-run
check "a long path: the dry run would update (0)" test $status -eq 0
run long
check "a long path: updated (0)" test $status -eq 0
check "a long path: the backup is the database as it was" cmp -s "$long/$BF/data1ver_1_06backup.mdb" "$WORK/long-pristine.mdb"
run long-again  # the sqlcipher shell cannot open such a path; the program reads it back
check "a long path: the database reads 1.07" has long-again.err "現在のデータベースバージョンは「 1.07 」です。"
SAMPLE_PW="長い秘密" "$SAMPLE" --password-env SAMPLE_PW "$long/enc.mdb"
DB_PW="長い秘密" run long-enc --database "$long/enc.mdb" --password-env DB_PW
check "a long path, encrypted: updated (0)" test $status -eq 0
rm "$XDG_CONFIG_HOME/MIVOTRA/MIVOTRA.conf"

# A backup folder that cannot be made for want of permission (as a user
# without root's override, in a folder that user may not write).
if command -v setpriv >/dev/null && [[ $(id -u) -eq 0 ]]; then
  mkdir -p "$WORK/noperm" "$WORK/noperm-runtime"
  cp "$WORK/pristine.mdb" "$WORK/noperm/data1.mdb"
  chown -R 65534:65534 "$WORK/noperm" "$WORK/noperm-runtime"
  # A lock folder of its own: another suite running as that user (a second
  # checkout's) would otherwise hold the shared one.
  chmod 700 "$WORK/noperm-runtime"
  chmod 555 "$WORK/noperm"
  chmod 711 "$WORK"
  for mode in dry real; do
    rm -f "$WORK/noperm-$mode.err"
    extra=(); [[ $mode == dry ]] && extra=(--dry-run)
    setpriv --reuid=65534 --regid=65534 --clear-groups env HOME="$WORK/noperm" XDG_RUNTIME_DIR="$WORK/noperm-runtime" \
      timeout 120 "$PATCH" --database "$WORK/noperm/data1.mdb" "${extra[@]}" \
      >"$WORK/noperm-$mode.out" 2>"$WORK/noperm-$mode.err" </dev/null
    status=$?
    check "$mode: an unmakeable backup folder fails (1)" test $status -eq 1
    check "$mode: with the copy failure" has "noperm-$mode.err" "コピーに失敗しました。"
    check "$mode: for want of permission" has "noperm-$mode.err" "cannot make the backup folder $WORK/noperm/$BF: Permission denied"
  done
  check "the database is as it was" cmp -s "$WORK/noperm/data1.mdb" "$WORK/pristine.mdb"
  chmod 700 "$WORK"
  chmod 755 "$WORK/noperm"
else
  echo "skipped: the permission case needs root and setpriv"
fi

# Standard input is never read: a pipe that never ends does not hold it up.
cp "$WORK/pristine.mdb" "$WORK/stdin.mdb"
mkfifo "$WORK/stdin"
exec 3<>"$WORK/stdin"  # a writer that never writes nor closes
timeout 60 "$PATCH" --database "$WORK/stdin.mdb" --dry-run <"$WORK/stdin" >/dev/null 2>&1
check "standard input is never waited for" test $? -eq 0
exec 3>&-

finish
