#!/usr/bin/env bash
# The console front end as a user's script calls it: arguments, exit codes,
# what goes to standard output and standard error, and what stays on disk.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

run() {  # run NAME ARGS...: exit code in $status, output in $WORK/NAME.out/.err
  local name=$1
  shift
  timeout 120 "$PATCH" "$@" >"$WORK/$name.out" 2>"$WORK/$name.err" </dev/null
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

# A full update in a folder whose name has Japanese, blanks, quotes, ';' and '#'.
dir="$WORK/共有 フォルダ 'a' \"b\"; #1"
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

# Passwords come from the environment only.
SAMPLE_PW="it's;#secret" "$SAMPLE" --password-env SAMPLE_PW "$WORK/secret.mdb"
export DB_PW="it's;#secret"
run wrongpw --database "$WORK/secret.mdb"
check "without its password an encrypted database does not open (3)" test $status -eq 3
run rightpw --database "$WORK/secret.mdb" --password-env DB_PW
check "with its password it updates (0)" test $status -eq 0
check "the password is never printed" bash -c "! grep -qF \"it's;#secret\" '$WORK/rightpw.err' '$WORK/wrongpw.err'"

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

# Standard input is never read: a pipe that never ends does not hold it up.
cp "$WORK/pristine.mdb" "$WORK/stdin.mdb"
mkfifo "$WORK/stdin"
exec 3<>"$WORK/stdin"  # a writer that never writes nor closes
timeout 60 "$PATCH" --database "$WORK/stdin.mdb" --dry-run <"$WORK/stdin" >/dev/null 2>&1
check "standard input is never waited for" test $? -eq 0
exec 3>&-

finish
