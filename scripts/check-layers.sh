#!/usr/bin/env bash
# Each folder of src/ includes only what the README's layout table allows it:
# the engine knows nothing of the program, the core nothing of the windows.
# Prints every include that breaks the rule; non-zero exit when there is one.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root/src" || exit 2

# folder: the project folders its files may include (besides their own).
# The build enforces the same for the libraries (each layer's headers reach
# only the targets that link it); this also names the rule that was broken.
declare -A allowed=(
  [base]="base"
  [jet]="base"
  [report]="base jet"
  [target]="base"
  [platform]="base"
  [res]="res"
  [update]="base jet report target platform res"
  [ui]="base update res"
  [app]="base ui update platform res"
  [cli]="base platform report res target update"
  [sampledb]="cli jet"
)
qt_forbidden="base jet report"   # no Qt at all
widgets_forbidden="base jet report target platform update cli sampledb res"

# Every folder of src/ must have its rule.
for folder in */; do
  folder=${folder%/}
  if [[ -z ${allowed[$folder]+set} ]]; then
    echo "src/$folder/: no rule in scripts/check-layers.sh"
    exit 1
  fi
done

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
