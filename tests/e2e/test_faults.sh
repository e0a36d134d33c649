#!/usr/bin/env bash
# Faults and hostile inputs as the console front end shows them: the exit
# code, the boxes on standard error, and the files left as they were.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

run() {  # run NAME ARGS...: exit code in $status, seconds in $took, output in $WORK/NAME.out/.err
  local name=$1 start=$SECONDS
  shift
  timeout 60 "$PATCH" "$@" >"$WORK/$name.out" 2>"$WORK/$name.err" </dev/null
  status=$?
  took=$((SECONDS - start))
}
has() { grep -qF -- "$2" "$WORK/$1"; }
box() {  # box NAME CAPTION TEXT: the message box "[CAPTION]\nTEXT\n\n" is in NAME.err
  local want
  want=$(printf '[%s]\n%s\n\n' "$2" "$3" | od -An -tx1 | tr -d ' \n')
  od -An -tx1 "$WORK/$1.err" | tr -d ' \n' | grep -q "$want"
}
failed_caption() { has "$1.err" "データベース接続に失敗しました - 対象DB名 ･･･ $2"; }
M3="データベース更新前にバックアップファイルを作成します。

バックアップファイルは、/データベース更新前データ/[データベース名]ver_1_06backup.mdb となります。"
M4="すでにバックアップファイルが存在します。バックアップファイルのファイル名を変更してから再度更新作業をして下さい"
M5="コピーに失敗しました。"

"$SAMPLE" "$WORK/pristine.mdb"
fresh() { mkdir -p "$(dirname "$1")" && cp "$WORK/pristine.mdb" "$1"; }

# Files that are no Mivotra database: exit 3 with the failure caption, file untouched.
mkdir "$WORK/bad"
: >"$WORK/bad/empty.mdb"
head -c 8192 /dev/urandom >"$WORK/bad/random.mdb"
{ printf '\0\1\0\0Standard Jet DB\0'; head -c 4076 /dev/zero; } >"$WORK/bad/jet.mdb"
head -c $(( $(stat -c %s "$WORK/pristine.mdb") / 2 / 4096 * 4096 )) "$WORK/pristine.mdb" >"$WORK/bad/cut.mdb"
mkdir "$WORK/bad/folder.mdb"
mkfifo "$WORK/bad/pipe.mdb"
SAMPLE_PW=secret "$SAMPLE" --password-env SAMPLE_PW "$WORK/bad/encrypted.mdb"
state() {  # the folder's listing and the regular files' contents (never opens the pipe)
  ls -lA --time-style=full-iso "$WORK/bad"
  find "$WORK/bad" -maxdepth 1 -type f -exec md5sum {} +
}
for name in empty random jet cut folder pipe encrypted; do
  before=$(state)
  run "bad-$name" --database "$WORK/bad/$name.mdb"
  check "$name: not opened (3)" test $status -eq 3
  check "$name: the failure caption names it" failed_caption "bad-$name" "$name.mdb"
  check "$name: nothing changed, no backup folder" test "$before" = "$(state)"
done

# Another program's SQLite file: it opens, the version query fails with its report.
sqlcipher "$WORK/bad/foreign.mdb" "CREATE TABLE notes (id INTEGER PRIMARY KEY, body TEXT);"
run foreign --database "$WORK/bad/foreign.mdb"
check "a foreign SQLite file is refused (1)" test $status -eq 1
check "the report names the missing table" has foreign.err "Description : The Mivotra Jet engine cannot find the input table or query 't_db_ver'."
check "then the failure box" box foreign MivotraPatch20091109 "更新に失敗しました"
check "then the query" box foreign MivotraPatch20091109 "SELECT MAX(DBVerCode) AS MaxDBVerCode FROM t_db_ver;"
check "no backup of a foreign file" test ! -e "$WORK/bad/データベース更新前データ"

# A password that tries to name another file never opens it.
fresh "$WORK/decoy/decoy.mdb"
mkdir "$WORK/inject"
SAMPLE_PW=secret "$SAMPLE" --password-env SAMPLE_PW "$WORK/inject/data1.mdb"
export INJECT_PW="secret;Data Source=$WORK/decoy/decoy.mdb"
run inject --database "$WORK/inject/data1.mdb" --password-env INJECT_PW
check "an injected Data Source does not open (3)" test $status -eq 3
check "the decoy is untouched" cmp -s "$WORK/decoy/decoy.mdb" "$WORK/pristine.mdb"
check "the decoy has no backup" test ! -e "$WORK/decoy/データベース更新前データ"

# Settings: a 100 kB file name finds nothing; nor does a name in Shift-JIS
# bytes, which QSettings reads as UTF-8 (U+FFFD for each byte that is none).
settings "$(head -c 102400 /dev/zero | tr '\0' n)" "$WORK/" ""
run long
check "a 100 kB file name finds nothing (3)" test $status -eq 3
check "the caption says none is selected" has long.err "データベースが選択されてません"
sjis=$'\x83\x5c\x83\x74'
fresh "$WORK/sjis/$sjis.mdb"
settings "$sjis" "$WORK/sjis/" ""
run sjis
check "a Shift-JIS file name finds nothing (3)" test $status -eq 3
check "the file of that name is untouched" cmp -s "$WORK/sjis/$sjis.mdb" "$WORK/pristine.mdb"
check "and has no backup" test ! -e "$WORK/sjis/データベース更新前データ"
# A value QSettings gives as a list names no database, and the console says why.
fresh "$WORK/list/data1.mdb"
printf '[DATABASE]\nFileName=data1\nPathName=%s/list/\nPassword=a, b\n' "$WORK" \
  >"$XDG_CONFIG_HOME/MIVOTRA/MIVOTRA.conf"
run list
check "a password QSettings gives as a list: nothing opened (3)" test $status -eq 3
check "the caption says none is selected" has list.err "データベースが選択されてません"
check "the console says which value and why" has list.err "settings file: $XDG_CONFIG_HOME/MIVOTRA/MIVOTRA.conf (not used: DATABASE/Password is a list of 2 texts, not one text; a ',' outside double quotes makes a list)"
check "the database is untouched" cmp -s "$WORK/list/data1.mdb" "$WORK/pristine.mdb"

# A write lock held by another process when the program starts.
fresh "$WORK/lock/data1.mdb"
hold() {  # hold MODE: the sqlcipher shell holds BEGIN MODE on lock/data1.mdb
  coproc HOLDER { exec sqlcipher "$WORK/lock/data1.mdb"; }
  printf 'BEGIN %s;\nSELECT '"'held'"';\n' "$1" >&"${HOLDER[1]}"
  read -r held <&"${HOLDER[0]}"
  [[ $held == held ]]
}
release() {  # ends the transaction and the shell's input; the shell then exits
  local input=${HOLDER[1]}
  printf 'ROLLBACK;\n' >&"$input"
  exec {input}>&-
  wait "$HOLDER_PID"
}
hold EXCLUSIVE
check "the shell holds an exclusive lock" test "$held" = held
run exclusive --database "$WORK/lock/data1.mdb"
release
check "an exclusive lock: not opened (3)" test $status -eq 3
check "after the busy wait of about 5 s" test $took -ge 4 -a $took -le 10
check "with the failure caption" failed_caption exclusive data1.mdb
hold IMMEDIATE
run immediate --database "$WORK/lock/data1.mdb"
holder=$HOLDER_PID
release
check "a reserved lock: refused (1)" test $status -eq 1
check "at once: the other process is seen" test $took -le 2
check "as if the main application ran" box immediate "ＤＢ更新" "ミボトラ計算ソフトを終了してから再実行してください。"
check "the reason names the shell" has immediate.err "mivotra-patch: the database is in use: process $holder (sqlcipher)"
check "nothing else is shown" test "$(grep -c '^\[' "$WORK/immediate.err")" -eq 1
check "no backup folder was made" test ! -e "$WORK/lock/データベース更新前データ"
check "the database is as it was" cmp -s "$WORK/lock/data1.mdb" "$WORK/pristine.mdb"
run unlocked --database "$WORK/lock/data1.mdb"
check "once the lock is gone it updates (0)" test $status -eq 0

# A read-only database (root ignores permission bits; the immutable attribute binds it too).
fresh "$WORK/ro/data1.mdb"
if chattr +i "$WORK/ro/data1.mdb" 2>/dev/null; then
  run readonly-dry --database "$WORK/ro/data1.mdb" --dry-run
  run readonly --database "$WORK/ro/data1.mdb"
  chattr -i "$WORK/ro/data1.mdb"
  check "a dry run of it says what the update says" cmp -s "$WORK/readonly-dry.err" "$WORK/readonly.err"
  check "a read-only database: refused (1)" test $status -eq 1
  check "the report says it is read-only" has readonly.err "Description : Cannot update. Database or object is read-only"
  check "then the update's failure, not the copy's" box readonly MivotraPatch20091109 "更新に失敗しました"
  check "and no copy failure" bash -c "! grep -qF '$M5' '$WORK/readonly.err'"
  check "the read-only database is as it was" cmp -s "$WORK/ro/data1.mdb" "$WORK/pristine.mdb"
else
  echo "skipped: no immutable attribute on this file system"
fi

# A link to the database planted at the backup name counts as a backup.
fresh "$WORK/plant/data1.mdb"
mkdir "$WORK/plant/データベース更新前データ"
ln -s "$WORK/plant/data1.mdb" "$WORK/plant/データベース更新前データ/data1ver_1_06backup.mdb"
run plant --database "$WORK/plant/data1.mdb"
check "a planted link: refused (1)" test $status -eq 1
check "as an existing backup" box plant 2009/11/09 "$M4"
check "the link is left as it was" test "$(readlink "$WORK/plant/データベース更新前データ/data1ver_1_06backup.mdb")" = "$WORK/plant/data1.mdb"
check "the database is as it was " cmp -s "$WORK/plant/data1.mdb" "$WORK/pristine.mdb"

# A full disk: the database on a small tmpfs that cannot hold its copy, and
# on one that holds the copy but not the patch's journal beside it, where the
# dry run must refuse as the update fails.
mkdir "$WORK/disk" "$WORK/disk2"
"$SAMPLE" --kumi-rows 20000 "$WORK/disk.mdb"
size=$(stat -c %s "$WORK/disk.mdb")
if unshare -m true 2>/dev/null; then
  # shellcheck disable=SC2016 # expanded by the inner shell
  unshare -m bash -c '
    set -u
    mount --make-rprivate / && mount -t tmpfs -o size=$(( $2 + 65536 )) tmpfs "$1/disk" &&
      mount -t tmpfs -o size=$(( 2 * $2 + 65536 )) tmpfs "$1/disk2" || exit 77
    cp "$1/disk.mdb" "$1/disk/data1.mdb"
    timeout 60 "$3" --database "$1/disk/data1.mdb" >"$1/full.out" 2>"$1/full.err" </dev/null
    echo $? >"$1/full.status"
    cmp -s "$1/disk.mdb" "$1/disk/data1.mdb" && echo same >"$1/full.same"
    ls -A "$1/disk/データベース更新前データ" >"$1/full.left"
    cp "$1/disk.mdb" "$1/disk2/data1.mdb"
    timeout 60 "$3" --dry-run --database "$1/disk2/data1.mdb" >"$1/full2dry.out" 2>"$1/full2dry.err" </dev/null
    echo $? >"$1/full2dry.status"
    ls -A "$1/disk2" >"$1/full2dry.left"
    timeout 60 "$3" --database "$1/disk2/data1.mdb" >"$1/full2.out" 2>"$1/full2.err" </dev/null
    echo $? >"$1/full2.status"
    cmp -s "$1/disk.mdb" "$1/disk2/data1.mdb" && echo same >"$1/full2.same"
  ' _ "$WORK" "$size" "$PATCH"
  if [[ $? -eq 77 ]]; then
    echo "skipped: no tmpfs mount here"
  else
    check "a full disk: refused (1)" test "$(cat "$WORK/full.status")" = 1
    check "with the copy failure" box full 2009/11/09 "$M5"
    check "and the reason" has full.err "No space left on device"
    check "the database on the full disk is as it was" test -f "$WORK/full.same"
    check "nothing is left in the backup folder" test ! -s "$WORK/full.left"
    check "room for the copy, not the journal: the dry run fails (1)" test "$(cat "$WORK/full2dry.status")" = 1
    check "saying so" has full2dry.err "no room for both the backup and the update's journal"
    check "and leaves only the database" test "$(cat "$WORK/full2dry.left")" = data1.mdb
    check "the update fails there too (1)" test "$(cat "$WORK/full2.status")" = 1
    check "as the disk is full" has full2.err "The disk is full"
    check "and the database is as it was" test -f "$WORK/full2.same"
  fi
else
  echo "skipped: no private mounts here"
fi

finish
