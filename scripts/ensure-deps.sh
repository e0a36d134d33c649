#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, only
# when one of them is missing, so a warm machine stays quiet and fast.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev
  libsqlcipher-dev sqlcipher
  libgtest-dev libgmock-dev
  libxcb1-dev
  fonts-noto-cjk
)
if [[ "${1:-}" == "--test" ]]; then
  packages+=(xvfb xauth xdotool xclip x11-utils imagemagick clang libclang-rt-14-dev clang-format)
  # The benchmarks' timing and arithmetic; fuser, the yardstick for the
  # scan for other users of the database.
  packages+=(time bc psmisc)
  # Reading the console's JSON results in the end-to-end tests.
  packages+=(jq)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
