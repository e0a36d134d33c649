# shellcheck shell=bash
# Sourced by the scripts that need the machine's own Debian archive.

# debian_archive_uri CODENAME: the URI of every apt source of this machine
# whose suites include CODENAME itself (not CODENAME-backports and the like)
# with the main component, deb822 *.sources first, then one-line *.list files.
debian_archive_uri() {
  local rel=$1 f
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -f $f ]] || continue
    awk -v rel="$rel" '
      function flush() { if (uri != "" && suites ~ ("(^| )" rel "( |$)") && comps ~ /main/) { print uri; found = 1; exit } uri = ""; suites = ""; comps = "" }
      /^[[:space:]]*$/ { flush(); next }
      /^URIs:/ { uri = $2 }
      /^Suites:/ { $1 = ""; suites = $0 }
      /^Components:/ { $1 = ""; comps = $0 }
      END { if (!found) flush() }' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -f $f ]] || continue
    awk -v rel="$rel" '$1 == "deb" && $0 !~ /^[[:space:]]*#/ {
        i = 2; if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
        if ($(i + 1) == rel) { print $i; exit } }' "$f"
  done
}
