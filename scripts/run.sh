#!/usr/bin/env bash
# The main job on a demo database: builds the tool, makes a fresh version 1.06
# sample in ./demo with a settings file of its own (the user's own settings are
# never touched), and updates it. With a display the window opens; without one
# the console front end does the update and shows what happened.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/ensure-deps.sh"

build="$root/build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target mivotra-sample-db mivotra-patch \
  $( [[ -n "${DISPLAY:-}" ]] && echo MivotraPatch20091109 ) >/dev/null

demo="$root/demo"
rm -rf "$demo"
mkdir -p "$demo/config/MIVOTRA"
"$build/src/mivotra-sample-db" --kumi-rows 3000 "$demo/data1.mdb"
cat > "$demo/config/MIVOTRA/MIVOTRA.conf" <<CONF
[DATABASE]
FileName=data1
PathName="$demo/"
Password=
CONF
export XDG_CONFIG_HOME="$demo/config"
echo "Demo database: $demo/data1.mdb (settings: $XDG_CONFIG_HOME/MIVOTRA/MIVOTRA.conf)" >&2

if [[ -n "${DISPLAY:-}" && -x "$build/src/MivotraPatch20091109" ]]; then
  exec "$build/src/MivotraPatch20091109"
fi
[[ -z "${DISPLAY:-}" ]] && echo "No display: the console front end updates the demo database." >&2
status=0
"$build/src/mivotra-patch" || status=$?
echo "--- exit status $status; the database now reports version:" >&2
"$build/src/mivotra-patch" --dry-run >/dev/null 2>"$demo/after.txt" || true
grep -o '現在のデータベースバージョンは「 .* 」' "$demo/after.txt" >&2 || cat "$demo/after.txt" >&2
ls -l "$demo/データベース更新前データ" >&2
exit $status
