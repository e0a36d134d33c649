# Shared by the end-to-end scripts: a scratch folder with its own settings,
# the programs under test, and checks that count their failures.
set -uo pipefail

BIN=${MIVOTRA_BIN:?MIVOTRA_BIN must name the folder with the built programs}
PATCH="$BIN/mivotra-patch"
SAMPLE="$BIN/mivotra-sample-db"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/mivotra-e2e-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export XDG_CONFIG_HOME="$WORK/config"
export XDG_RUNTIME_DIR="$WORK/runtime"
mkdir -p "$XDG_CONFIG_HOME/MIVOTRA" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY

passed=0
failed=0
check() {  # check "what" command...
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $what" >&2
  fi
}
finish() {
  echo "$passed passed, $failed failed"
  [[ $failed -eq 0 ]]
}

# settings FILENAME PATHNAME PASSWORD
settings() {
  esc() { local s=${1//\\/\\\\}; printf '%s' "${s//\"/\\\"}"; }
  printf '[DATABASE]\nFileName="%s"\nPathName="%s"\nPassword="%s"\n' "$(esc "$1")" "$(esc "$2")" "$(esc "$3")" \
    >"$XDG_CONFIG_HOME/MIVOTRA/MIVOTRA.conf"
}

# sql FILE [PASSWORD] SQL: runs SQL in the sqlcipher shell, prints the result.
sql() {
  local file=$1 key=$2 statement=$3
  if [[ -n $key ]]; then
    printf "PRAGMA key = '%s';\n%s\n" "${key//\'/\'\'}" "$statement" | sqlcipher "$file" | grep -v '^ok$'
  else
    printf "%s\n" "$statement" | sqlcipher "$file"
  fi
}

dump() { sql "$1" "${2:-}" ".dump"; }
