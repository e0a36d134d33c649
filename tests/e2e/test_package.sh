#!/usr/bin/env bash
# The Debian packages as a user gets them: lintian, the AppStream record, the
# desktop entry and the manual pages checked, both packages unpacked into a
# scratch root (dpkg-deb -x), every promised file there and nothing else, and
# the installed programs run from there: --version, a whole console update of
# a sample the installed sample maker wrote, the window's start.
# Usage: test_package.sh FOLDER (the .deb files, as scripts/package.sh leaves
# them in build-deb/packages).
packages=$(cd "${1:?name the folder with the .deb files}" && pwd)
main_deb=$(ls "$packages"/mivotra-patch_*.deb 2>/dev/null)
sample_deb=$(ls "$packages"/mivotra-sample-db_*.deb 2>/dev/null)
if [[ ! -f $main_deb || ! -f $sample_deb ]]; then
  echo "FAILED: both packages are in $packages" >&2
  exit 1
fi

root=$(mktemp -d "${TMPDIR:-/tmp}/mivotra-package-XXXXXX")
MIVOTRA_BIN="$root/usr/bin"
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
trap 'rm -rf "$WORK" "$root"' EXIT

version=$(dpkg-deb -f "$main_deb" Version)
upstream=${version%-*}
app_id=jp.mivotra.MivotraPatch20091109

# Lintian: no error and no warning; the informational tags are shown (the
# README tells why each stays).
lintian --fail-on error,warning --display-info --pedantic "$main_deb" "$sample_deb" \
  >"$WORK/lintian.out" 2>&1
check "lintian finds no error and no warning" test $? -eq 0
grep -v '^running with root privileges' "$WORK/lintian.out" | sed 's/^/  lintian: /'
check "both packages have the same version" test "$(dpkg-deb -f "$sample_deb" Version)" = "$version"
field_has() { dpkg-deb -f "$1" "$2" | grep -F -- "$3" >/dev/null; }  # field_has DEB FIELD TEXT
check "the window's libraries were read from its binaries" field_has "$main_deb" Depends libqt6widgets6
check "the engine's library was read from the binaries" field_has "$main_deb" Depends libsqlcipher1
check "the sample maker's too" field_has "$sample_deb" Depends libsqlcipher1
check "the window's platform plugin is a dependency" field_has "$main_deb" Depends qt6-qpa-plugins
check "the description is in English" field_has "$main_deb" Description "one transaction"
check "and in Japanese" field_has "$main_deb" Description "ミボトラ計算ソフト"

# Every file each package promises, and no other: the sample maker, above
# all, never in the main package.
files_of() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ {print substr($6, 2)}' | sort; }
main_files="/usr/bin/MivotraPatch20091109
/usr/bin/mivotra-patch
/usr/libexec/mivotra-patch/mivotra-window-probe
/usr/share/applications/$app_id.desktop
/usr/share/doc/mivotra-patch/changelog.Debian.gz
/usr/share/doc/mivotra-patch/copyright
$(for size in 16 32 48 64 128 256; do echo "/usr/share/icons/hicolor/${size}x$size/apps/$app_id.png"; done)
/usr/share/icons/hicolor/scalable/apps/$app_id.svg
/usr/share/lintian/overrides/mivotra-patch
/usr/share/man/ja/man1/MivotraPatch20091109.1.gz
/usr/share/man/ja/man1/mivotra-patch.1.gz
/usr/share/man/man1/MivotraPatch20091109.1.gz
/usr/share/man/man1/mivotra-patch.1.gz
/usr/share/metainfo/$app_id.metainfo.xml"
sample_files="/usr/bin/mivotra-sample-db
/usr/share/doc/mivotra-sample-db/changelog.Debian.gz
/usr/share/doc/mivotra-sample-db/copyright
/usr/share/lintian/overrides/mivotra-sample-db
/usr/share/man/ja/man1/mivotra-sample-db.1.gz
/usr/share/man/man1/mivotra-sample-db.1.gz"
check "mivotra-patch holds exactly its files" \
  diff <(sort <<<"$main_files") <(files_of "$main_deb")
check "mivotra-sample-db holds exactly its files" \
  diff <(sort <<<"$sample_files") <(files_of "$sample_deb")

dpkg-deb -x "$main_deb" "$root"
dpkg-deb -x "$sample_deb" "$root"
share="$root/usr/share"

appstreamcli validate --no-net "$share/metainfo/$app_id.metainfo.xml" >"$WORK/appstream.out" 2>&1
check "appstreamcli accepts the AppStream record" test $? -eq 0
sed 's/^/  appstreamcli: /' "$WORK/appstream.out"
check "the AppStream record names the package's version" \
  grep -q "<release version=\"$upstream\"" "$share/metainfo/$app_id.metainfo.xml"
check "the AppStream record has a Japanese name and summary" \
  bash -c "grep -q '<name xml:lang=\"ja\">' '$share/metainfo/$app_id.metainfo.xml' &&
           grep -q '<summary xml:lang=\"ja\">' '$share/metainfo/$app_id.metainfo.xml'"
desktop="$share/applications/$app_id.desktop"
check "desktop-file-validate accepts the desktop entry" \
  test -z "$(desktop-file-validate "$desktop" 2>&1)"
check "the desktop entry starts the installed window" test -x "$root/usr/bin/$(sed -n 's/^Exec=//p' "$desktop")"
check "the desktop entry's icon is the installed one" \
  test "$(sed -n 's/^Icon=//p' "$desktop")" = "$app_id"
check "the desktop entry has keywords in both languages" \
  bash -c "grep -q '^Keywords=' '$desktop' && grep -q '^Keywords\[ja\]=' '$desktop'"
png_size_is() { file "$1" | grep -F "PNG image data, $2 x $2," >/dev/null; }
for size in 16 32 48 64 128 256; do
  check "the ${size} px icon is $size x $size" \
    png_size_is "$share/icons/hicolor/${size}x$size/apps/$app_id.png" "$size"
done

# page_has PAGE TEXT: the page's source has TEXT, its \- read as -.
# grep reads to the end (no -q): an early exit would fail the pipe under pipefail.
page_has() { zcat "$1" | sed 's/\\-/-/g' | grep -F -- "$2" >/dev/null; }
# page_version_is PAGE VERSION: the .TH line's source field is "program VERSION".
page_version_is() { zcat "$1" | grep -E "^\.TH [^ ]+ 1 \"[^\"]*\" \"[^ \"]+ ${2//./\\.}\"" >/dev/null; }

# Manual pages: rendered at 80 columns without a warning, each of the right
# version, and every option the program's --help shows explained in it.
for page in "$share"/man/man1/*.1.gz "$share"/man/ja/man1/*.1.gz; do
  name=${page#"$share/man/"}
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  check "man renders $name without warnings" test -z "$warnings"
  [[ -z $warnings ]] || echo "$warnings" >&2
  check "$name is of version $upstream" page_version_is "$page" "$upstream"
  program=$(basename "$page" .1.gz)
  if [[ $program != MivotraPatch20091109 ]]; then
    for option in $("$root/usr/bin/$program" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
      [[ $option == --opt ]] && continue  # the help's own placeholder
      check "$name explains $option" page_has "$page" "$option"
    done
  fi
done

# The installed programs, run from the scratch root.
for program in mivotra-patch mivotra-sample-db; do
  out=$("$root/usr/bin/$program" --version)
  check "the installed $program --version exits 0" test $? -eq 0
  check "the installed $program is version $upstream" test "$out" = "$program (MivotraPatch20091109) $upstream"
done

"$SAMPLE" "$WORK/data1.mdb"
check "the installed sample maker writes a version 1.06 database" \
  test "$(sql "$WORK/data1.mdb" "" "SELECT MAX(DBVerCode) FROM t_db_ver;")" = "1.06"
cp "$WORK/data1.mdb" "$WORK/pristine.mdb"
settings data1 "$WORK/" ""
timeout 120 "$PATCH" >"$WORK/update.out" 2>"$WORK/update.err" </dev/null
check "the installed console updates the database of the settings (0)" test $? -eq 0
check "it lists 13 statements" test "$(wc -l <"$WORK/update.out")" -eq 13
check "the database reads 1.07" test "$(sql "$WORK/data1.mdb" "" "SELECT MAX(DBVerCode) FROM t_db_ver;")" = "1.07"
check "the backup is the database as it was" \
  test "$(dump "$WORK/データベース更新前データ/data1ver_1_06backup.mdb")" = "$(dump "$WORK/pristine.mdb")"

export SAMPLE_PW="pass;'word"
"$SAMPLE" --password-env SAMPLE_PW "$WORK/secret.mdb"
timeout 120 "$PATCH" --database "$WORK/secret.mdb" --password-env SAMPLE_PW \
  >"$WORK/secret.out" 2>"$WORK/secret.err" </dev/null
check "an encrypted sample updates with its password (0)" test $? -eq 0
check "it reads 1.07" test "$(sql "$WORK/secret.mdb" "$SAMPLE_PW" "SELECT MAX(DBVerCode) FROM t_db_ver;")" = "1.07"

# The installed programs find their window search in the package's libexec
# folder: on an X server of its own with a window of the main application's
# class (xmessage's, its class set by xdotool), the installed console
# refuses. Both programs look for it from the folder they are in.
if command -v Xvfb >/dev/null && command -v xmessage >/dev/null && command -v xdotool >/dev/null; then
  Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp -noreset 3>"$WORK/display" >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$WORK" "$root"' EXIT
  for _ in $(seq 200); do [[ -s $WORK/display ]] && break; sleep 0.1; done
  display=":$(head -n 1 "$WORK/display")"
  DISPLAY=$display xmessage -name mivotra-stand-in stand-in >/dev/null 2>&1 &
  stand_in=$!
  window=$(DISPLAY=$display timeout 20 xdotool search --sync --classname '^mivotra-stand-in$' | head -n 1)
  check "a window stands in for the main application" \
    env DISPLAY="$display" xdotool set_window --class Mivotra "${window:-none}"
  "$SAMPLE" "$WORK/inuse.mdb"
  DISPLAY=$display timeout 120 "$PATCH" --database "$WORK/inuse.mdb" \
    >"$WORK/inuse.out" 2>"$WORK/inuse.err" </dev/null
  check "with it open the installed console refuses (1)" test $? -eq 1
  check "and says the main application is open" grep -q "ミボトラ計算ソフトを終了してから" "$WORK/inuse.err"
  check "the database stays at 1.06" \
    test "$(sql "$WORK/inuse.mdb" "" "SELECT MAX(DBVerCode) FROM t_db_ver;")" = "1.06"
  kill "$stand_in" "$xvfb"
  wait "$stand_in" "$xvfb" 2>/dev/null
else
  echo "  skipped: the window search from the scratch root (Xvfb, xmessage or xdotool missing)"
fi

# The window finds its libraries and plugins and stays up until it is closed.
QT_QPA_PLATFORM=offscreen timeout 3 "$BIN/MivotraPatch20091109" >"$WORK/window.log" 2>&1 </dev/null
check "the installed window starts and waits for the user" test $? -eq 124
[[ -s $WORK/window.log ]] && sed 's/^/  window: /' "$WORK/window.log"

finish
