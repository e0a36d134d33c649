#!/usr/bin/env bash
# Each folder of src/ includes only what the README's layout table allows it:
# the engine knows nothing of the program, the core nothing of the windows.
# Prints every include that breaks the rule; non-zero exit when there is one.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root/src" || exit 2

# folder: the project folders its files may include (besides their own)
declare -A allowed=(
  [jet]="jet"
  [report]="jet"
  [target]="jet target"
  [platform]="platform"
  [update]="jet report target platform update res"
)
qt_forbidden="jet report"   # no Qt at all
widgets_forbidden="jet report target platform update"

bad=0
for folder in "${!allowed[@]}"; do
  while IFS= read -r -d '' file; do
    while IFS= read -r line; do
      include=${line#*\"}
      include=${include%%\"*}
      top=${include%%/*}
      if [[ $include == */* && $top != "$folder" && " ${allowed[$folder]} " != *" $top "* ]]; then
        echo "src/$file: includes \"$include\", which $folder/ may not"
        bad=1
      fi
    done < <(grep -E '^#include "' "$file")
    if [[ " $qt_forbidden " == *" $folder "* ]] && grep -qE '^#include <Q' "$file"; then
      echo "src/$file: includes Qt, which $folder/ may not"
      bad=1
    fi
    if [[ " $widgets_forbidden " == *" $folder "* ]] &&
      grep -qE '^#include <(QtWidgets/|QWidget|QDialog|QApplication|QMessageBox|QLabel)' "$file"; then
      echo "src/$file: includes Qt Widgets, which $folder/ may not"
      bad=1
    fi
  done < <(find "$folder" -name '*.cpp' -print0 -o -name '*.h' -print0)
done
exit $bad
