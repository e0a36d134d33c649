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
  # Qt's own dialogs and menus in the user's language (qtbase_ja and the rest).
  qt6-translations-l10n
  # The PNG icons of every size are drawn from the SVGs at build time.
  librsvg2-bin
)
# The Debian package and its checks: CPack's DEB generator (dpkg-shlibdeps
# reads the binaries' needs, file tells it which files are binaries), lintian,
# AppStream, the desktop entry and the manual pages.
package_tools=(dpkg-dev file lintian appstream desktop-file-utils man-db groff-base)
if [[ "${1:-}" == "--package" ]]; then
  packages+=("${package_tools[@]}")
fi
if [[ "${1:-}" == "--test" ]]; then
  packages+=(xvfb xauth xdotool xclip x11-utils imagemagick clang libclang-rt-14-dev clang-format)
  # The benchmarks' timing and arithmetic; fuser, the yardstick for the
  # scan for other users of the database.
  packages+=(time bc psmisc)
  # Reading the console's JSON results in the end-to-end tests.
  packages+=(jq)
  # A real window manager for the desktop test, and a Japanese locale to run
  # the program in.
  packages+=(openbox locales)
  packages+=("${package_tools[@]}")
fi

# The Japanese locale the window tests run under; generated once.
ensure_japanese_locale() {
  [[ "${1:-}" == "--test" ]] || return 0
  locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$' && return 0
  command -v locale-gen >/dev/null || return 0
  local sudo=()
  if [[ $(id -u) -ne 0 ]]; then sudo=(sudo); fi
  if ! grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'ja_JP.UTF-8 UTF-8' | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  fi
  "${sudo[@]}" locale-gen >/dev/null
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [[ ${#missing[@]} -eq 0 ]]; then
  ensure_japanese_locale "${1:-}"
  exit 0
fi

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
ensure_japanese_locale "${1:-}"
