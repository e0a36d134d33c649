#!/usr/bin/env bash
# Brings a translation file up to date with the Tr("context", "text") calls
# of src/: new texts come in unfinished, texts no longer in the sources are
# marked vanished. Without an argument it updates src/l10n/mivotra_ja.ts,
# which is what to run after changing a text (then translate what is
# unfinished, e.g. in Qt Linguist); the translations test runs it on a copy.
# LUPDATE names the lupdate program when it is not Qt 6's own.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ts=${1:-$root/src/l10n/mivotra_ja.ts}
lupdate=${LUPDATE:-}
if [[ -z $lupdate ]]; then
  for candidate in /usr/lib/qt6/bin/lupdate "$(command -v lupdate-qt6 || true)" "$(command -v lupdate || true)"; do
    if [[ -n $candidate && -x $candidate ]]; then
      lupdate=$candidate
      break
    fi
  done
fi
[[ -n $lupdate ]] || { echo "lupdate.sh: no lupdate (Debian: qt6-l10n-tools, scripts/ensure-deps.sh)" >&2; exit 2; }
# Tr is base/Translate.h's, called as QCoreApplication::translate is; no
# source locations, so that moving a line changes nothing in the file.
cd "$root/src"
"$lupdate" -silent -tr-function-alias translate+=Tr -locations none -target-language ja_JP \
  -extensions cpp,h . -ts "$ts"
