#!/usr/bin/env bash
# Each folder of src/ includes only what the README's Layout table allows it:
# the engine knows nothing of the program, the core nothing of the windows.
# The table is the rule, written once: for each folder of src/, its last
# column names the folders it may include (in backticks) and whether it may
# use Qt Core or Qt Widgets. The build enforces most of it through the
# libraries' links; this also catches what a link lets through (a header of a
# library linked for another's sake) and names the rule an include breaks.
# Prints every include that breaks the rule; non-zero exit when there is one.
# MIVOTRA_LAYERS_SHOW=1 also prints the rule as it was read.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root/src" || exit 2

declare -A allowed=() qt=()
folders=" $(find . -mindepth 1 -maxdepth 1 -type d -printf '%f ')"
while IFS= read -r row; do
  IFS='|' read -r _ names _ rule _ <<<"$row"
  for name in $(grep -oE '`src/[a-z0-9]+/`' <<<"$names" | tr -d '`'); do
    folder=${name#src/}
    folder=${folder%/}
    uses=""
    for used in $(grep -oE '`[a-z0-9]+/`' <<<"$rule" | tr -d '`/'); do
      [[ $folders == *" $used "* ]] && uses+=" $used"
    done
    allowed[$folder]="$folder$uses"
    if [[ $rule == *"Qt Widgets"* ]]; then
      qt[$folder]=widgets
    elif [[ $rule == *"Qt Core"* ]]; then
      qt[$folder]=core
    else
      qt[$folder]=none
    fi
  done
done < <(sed -n '/^## Layout/,/^## /p' "$root/README.md" | grep -E '^\| `src/[a-z0-9]+/`')

# Every folder of src/ must have its rule.
status=0
for folder in $folders; do
  if [[ -z ${allowed[$folder]+set} ]]; then
    echo "src/$folder/: no row in the README's Layout table"
    status=1
  fi
done
((status == 0)) || exit 1

[[ -z ${MIVOTRA_LAYERS_SHOW:-} ]] || for f in "${!allowed[@]}"; do echo "$f: ${allowed[$f]} (Qt ${qt[$f]})"; done
for folder in "${!allowed[@]}"; do
  while IFS= read -r -d '' file; do
    while IFS= read -r line; do
      include=${line#*\"}
      include=${include%%\"*}
      top=${include%%/*}
      if [[ $include == */* && " ${allowed[$folder]} " != *" $top "* ]]; then
        echo "src/$file: includes \"$include\", which $folder/ may not"
        status=1
      fi
    done < <(grep -E '^#include "' "$file")
    if [[ ${qt[$folder]} == none ]] && grep -qE '^#include <Q' "$file"; then
      echo "src/$file: includes Qt, which $folder/ may not"
      status=1
    fi
    if [[ ${qt[$folder]} != widgets ]] &&
      grep -qE '^#include <(QtWidgets/|QWidget|QDialog|QApplication|QMessageBox|QLabel)' "$file"; then
      echo "src/$file: includes Qt Widgets, which $folder/ may not"
      status=1
    fi
  done < <(find "$folder" -name '*.cpp' -print0 -o -name '*.h' -print0)
done
exit $status
