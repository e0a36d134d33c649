#!/usr/bin/env bash
# The update on each kind of file system a user keeps the database on: small
# images of xfs, btrfs, exFAT (exfat-fuse) and NTFS (ntfs-3g), both with
# their default options (no permissions kept), FAT through fusefat, and a
# tmpfs. On each, a plain, a SQLCipher 4 and a SQLCipher 3 database get a dry
# run and then the real run on the same file: the real run must end as the
# invariant says (updated, the backup the original byte for byte; or the
# database as it was and nothing left at the backup's name), and the dry run
# as its real twin, leaving everything as it was.
#
# Needs root for the mounts (through sudo otherwise). Everything runs in
# mount and PID namespaces of its own, so the mounts, the loop devices they
# hold and the FUSE daemons end with it however it ends; it also unmounts
# what it made when it ends normally. Where the machine has no loop devices
# or no FUSE, the file systems that need them are skipped with a word, and
# the rest still runs. MIVOTRA_FS_KEEP=<folder> keeps every run's output there.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if [[ ${1:-} != --inside ]]; then
  if [[ $(id -u) -ne 0 ]]; then exec sudo --preserve-env=MIVOTRA_BIN,TMPDIR bash "$0" "$@"; fi
  if ! unshare --mount --pid --fork --kill-child --propagation private true 2>/dev/null; then
    echo "test_filesystems: cannot make private mount and PID namespaces here" >&2
    exit 1
  fi
  # A /proc of the namespace's own: with the machine's, the program would take
  # its own process for another one that has the database open.
  exec unshare --mount --pid --fork --kill-child --mount-proc --propagation private bash "$0" --inside
fi

source "$here/lib.sh"
mounts=()
cleanup() {
  local i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}"
  done
  rm -rf --one-file-system "$WORK"
}
trap cleanup EXIT
[[ -z ${MIVOTRA_FS_KEEP:-} ]] || trap "cp -r \"\$WORK\"/*.out \"\$WORK\"/*.err \"\$MIVOTRA_FS_KEEP\"/ 2>/dev/null; cleanup" EXIT

BF=データベース更新前データ
BACKUP=data1ver_1_06backup.mdb
export DB_PW="p'a;s 秘密"

run() {  # run NAME ARGS...: exit status in $status, output in $WORK/NAME.out/.err
  local name=$1
  shift
  timeout 120 "$PATCH" "$@" >"$WORK/$name.out" 2>"$WORK/$name.err" </dev/null
  status=$?
}
has() { grep -qF -- "$2" "$WORK/$1"; }
# The boxes of a --json run, the dry run's closing box read as the success box.
boxes() {
  jq -c '[.messages[] | [.caption, .icon,
    (if (.text | startswith("予行演習を終了しました。")) then "更新終了致しました" else .text end)]]' \
    "$WORK/$1.out" 2>/dev/null
}
# What a user could find changed: the database's bytes, its folder's entries,
# the backup folder's entries.
disk() { md5sum <"$1/data1.mdb"; ls -A "$1"; ls -A "$1/$BF" 2>/dev/null; }
leftovers() { find "$1/$BF" -maxdepth 1 \( -name '.mivotra-copy-*' -o -name '.fuse_hidden*' \) 2>/dev/null; }

# The samples are made once, outside the mounts (the sample maker's own
# writes are not under test), and copied where each case needs one.
mkdir "$WORK/samples"
"$SAMPLE" --kumi-rows 40 "$WORK/samples/plain.mdb"
"$SAMPLE" --kumi-rows 40 --password-env DB_PW "$WORK/samples/v4.mdb"
"$SAMPLE" --kumi-rows 40 --password-env DB_PW --cipher-compatibility 3 "$WORK/samples/v3.mdb"
sample() { cp "$WORK/samples/$1.mdb" "$2"; }  # sample FORMAT FILE
version() {  # version FORMAT FILE
  local query="SELECT MAX(DBVerCode) FROM t_db_ver;"
  case $1 in
    plain) sql "$2" "" "$query" ;;
    v4) sql "$2" "$DB_PW" "$query" ;;
    v3) sql "$2" "$DB_PW" "PRAGMA cipher_compatibility = 3;
$query" ;;
  esac
}

# twin LABEL FOLDER FORMAT WANT [WORDS]: a dry run of FOLDER/data1.mdb, then
# the real run; the real run must end with WANT (and say WORDS), the dry run
# as it did.
twin() {
  local label=$1 folder=$2 format=$3 want=$4 words=${5:-}
  local db=$folder/data1.mdb pw=() before dry
  [[ $format == plain ]] || pw=(--password-env DB_PW)
  cp "$db" "$WORK/$label.orig"
  before=$(disk "$folder")
  run "$label-dry" --database "$db" "${pw[@]}" --dry-run --json
  dry=$status
  check "$label: the dry run leaves everything as it was" test "$(disk "$folder")" = "$before"
  run "$label-real" --database "$db" "${pw[@]}" --json
  check "$label: the update ends with $want" test $status -eq "$want"
  [[ -z $words ]] || check "$label: and says why" has "$label-real.err" "$words"
  check "$label: the dry run ends as the update" test $dry -eq $status
  local shown
  shown=$(boxes "$label-real")
  check "$label: the dry run shows the update's boxes" \
    test -n "$shown" -a "$(boxes "$label-dry")" = "$shown"
  if [[ $status -eq 0 ]] && has "$label-real.err" "更新終了致しました"; then
    check "$label: the database reads 1.07" test "$(version "$format" "$db")" = 1.07
    check "$label: the backup is the original" cmp -s "$folder/$BF/$BACKUP" "$WORK/$label.orig"
  else
    check "$label: the database is as it was" cmp -s "$db" "$WORK/$label.orig"
    check "$label: nothing at the backup's name" test ! -e "$folder/$BF/$BACKUP" -a ! -L "$folder/$BF/$BACKUP"
  fi
  check "$label: no temporaries left" test -z "$(leftovers "$folder")"
  check "$label: no journal left beside the database" test ! -e "$db-journal"
}

# mount_fs NAME: an image of that file system (or a tmpfs) mounted at
# $WORK/mnt/NAME; false, with what the tools said, when that fails.
mount_fs() {
  local name=$1 image=$WORK/$1.img at=$WORK/mnt/$1 log=$WORK/$1.mount.log
  mkdir -p "$at"
  case $name in
    xfs) truncate -s 300M "$image" && mkfs.xfs -q "$image" && mount -o loop "$image" "$at" ;;
    btrfs) truncate -s 256M "$image" && mkfs.btrfs -q "$image" && mount -o loop "$image" "$at" ;;
    exfat) truncate -s 64M "$image" && mkfs.exfat "$image" && mount -t exfat-fuse -o loop "$image" "$at" ;;
    ntfs) truncate -s 64M "$image" && mkntfs -q -F -f "$image" && ntfs-3g "$image" "$at" ;;
    fat) truncate -s 64M "$image" && mkfs.vfat "$image" && fusefat -o rw+ "$image" "$at" ;;
    tmpfs) mount -t tmpfs -o size=64m tmpfs "$at" ;;
  esac >"$log" 2>&1 || {
    cat "$log" >&2
    return 1
  }
  mounts+=("$at")
}

loop=yes fuse=yes
losetup -f >/dev/null 2>&1 || loop=
[[ -c /dev/fuse ]] || fuse=
[[ -n $loop ]] || echo "skipped: xfs, btrfs, exFAT: this machine has no loop devices"
[[ -n $fuse ]] || echo "skipped: exFAT, NTFS, FAT: this machine has no FUSE (/dev/fuse)"

for fs in xfs btrfs exfat ntfs fat tmpfs; do
  case $fs in
    xfs | btrfs) [[ -n $loop ]] || continue ;;
    exfat) [[ -n $loop && -n $fuse ]] || continue ;;
    ntfs) [[ -n $fuse ]] || continue ;;
    fat)
      [[ -n $fuse ]] || continue
      if ! command -v fusefat >/dev/null; then
        echo "skipped: FAT: fusefat is not installed (not in this release's archive)"
        continue
      fi
      ;;
  esac
  if ! mount_fs "$fs"; then
    check "$fs: the image is made and mounted" false
    continue
  fi
  start=$SECONDS
  at=$WORK/mnt/$fs
  for format in plain v4 v3; do
    mkdir "$at/$format"
    sample "$format" "$at/$format/data1.mdb"
    case $fs in
      # FAT through FUSE takes no Japanese names: the backup folder can never
      # be made there.
      fat) twin "$fs-$format" "$at/$format" "$format" 1 "cannot make the backup folder" ;;
      *) twin "$fs-$format" "$at/$format" "$format" 0 ;;
    esac
  done
  echo "$fs: $((SECONDS - start)) s"
done

# Where no permissions are kept, the checks that do not rest on them stay.
if [[ -n $fuse ]]; then
  at=$WORK/mnt/ntfs
  mkdir "$at/linked"
  sample plain "$at/linked/data1.mdb"
  ln "$at/linked/data1.mdb" "$at/linked/snapshot.mdb"
  twin ntfs-second-name "$at/linked" plain 1 "has 2 names (hard links)"
fi
if [[ -n $loop && -n $fuse ]]; then
  at=$WORK/mnt/exfat
  mkdir -p "$at/journal/$BF"
  sample plain "$at/journal/data1.mdb"
  echo "someone's journal" >"$at/journal/$BF/$BACKUP-journal"
  twin exfat-planted-journal "$at/journal" plain 1 "lies in the backup folder"
fi

finish
