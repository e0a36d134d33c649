#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, only
# when one of them is missing, so a warm machine stays quiet and fast.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/debian-archive.sh"

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev
  libsqlcipher-dev libsqlcipher1 sqlcipher
  libgtest-dev libgmock-dev
  libxcb1-dev
  fonts-noto-cjk
  # Qt's own dialogs and menus in the user's language (qtbase_ja and the rest).
  qt6-translations-l10n
  # lupdate and lrelease: the program's own texts in Japanese, compiled at
  # build time and checked by the tests.
  qt6-l10n-tools
  # The PNG icons of every size are drawn from the SVGs at build time.
  librsvg2-bin
)
# The Debian package and its checks: CPack's DEB generator (dpkg-shlibdeps
# reads the binaries' needs, file tells it which files are binaries), lintian,
# AppStream, the desktop entry and the manual pages.
package_tools=(dpkg-dev file lintian appstream desktop-file-utils man-db groff-base)
optional_packages=()
if [[ "${1:-}" == "--package" ]]; then
  packages+=("${package_tools[@]}")
fi
if [[ "${1:-}" == "--test" ]]; then
  # libclang-rt-dev follows the default clang of the release (the fuzzers'
  # and LeakSanitizer's runtime).
  packages+=(xvfb xauth xdotool xclip x11-utils imagemagick clang libclang-rt-dev clang-format)
  # A minimal Debian 13 root for the debian13 stage.
  packages+=(debootstrap)
  # The benchmarks' timing and arithmetic; fuser, the yardstick for the
  # scan for other users of the database.
  packages+=(time bc psmisc)
  # A QTest that hangs or crashes prints every thread's stack through gdb.
  packages+=(gdb)
  # Reading the console's JSON results in the end-to-end tests.
  packages+=(jq)
  # A real window manager for the desktop test, and a Japanese locale to run
  # the program in.
  packages+=(openbox locales)
  # What a screen reader reads of the window: the accessibility bus (AT-SPI)
  # on a session bus of the test's own, read through pyatspi.
  packages+=(python3-pyatspi at-spi2-core dbus-daemon)
  # A Wayland desktop for the same window: weston with XWayland, and Qt's
  # Wayland plugin, which a desktop with other Qt programs has.
  packages+=(weston xwayland qt6-wayland)
  # GNOME's compositor on its own (no GNOME Shell or session), headless: it
  # places X11 dialogs over their owner, as a GNOME desktop does.
  packages+=(mutter)
  packages+=("${package_tools[@]}")
  # The filesystems stage: the tools that make and mount its images.
  packages+=(xfsprogs btrfs-progs exfatprogs exfat-fuse ntfs-3g dosfstools fuse3)
  # FAT through FUSE (experimental, not in every release): where apt knows it.
  optional_packages+=(fusefat)
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

# SQLCipher 4.6: Debian 13 has it in its main archive; on Debian 12 it comes
# from the backports suite of the Debian archive that apt already uses (its
# address is read from the machine's own sources, never written here), and
# only the SQLCipher packages are taken from there.
sqlcipher_packages=(libsqlcipher-dev libsqlcipher1 sqlcipher)
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
backports_list=/etc/apt/sources.list.d/mivotra-backports.sources
backports_pin=/etc/apt/preferences.d/mivotra-sqlcipher-backports

ensure_sqlcipher_backports() {
  [[ $codename == bookworm ]] || return 0
  [[ -f $backports_list && -f $backports_pin ]] && return 0
  local uri
  uri=$(debian_archive_uri "$codename" | head -n1)
  if [[ -z $uri ]]; then
    echo "ensure-deps: no Debian archive for $codename found in apt's sources; cannot enable $codename-backports for SQLCipher 4.6" >&2
    exit 1
  fi
  echo "Enabling $codename-backports from $uri for SQLCipher 4.6" >&2
  "${sudo_cmd[@]}" tee "$backports_list" >/dev/null <<SOURCES
Types: deb
URIs: $uri
Suites: $codename-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  # Backports stay at priority 100 (never chosen by themselves) but for the
  # SQLCipher packages.
  "${sudo_cmd[@]}" tee "$backports_pin" >/dev/null <<PIN
Package: ${sqlcipher_packages[*]}
Pin: release n=$codename-backports
Pin-Priority: 990
PIN
}

# The installed SQLCipher must be 4.5 or newer (Debian 12's own 3.4.1 is not).
sqlcipher_is_current() {
  local v
  v=$(dpkg-query -W -f='${Version}' libsqlcipher-dev 2>/dev/null) || return 1
  dpkg --compare-versions "$v" ge 4.5
}

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
ensure_sqlcipher_backports

missing=()
sqlcipher_is_current || missing+=("${sqlcipher_packages[@]}")
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
# An optional package is installed where apt's lists know it.
optional_checked=
optional() {
  local p
  optional_checked=yes
  for p in "${optional_packages[@]}"; do
    if ! installed "$p" && apt-cache show "$p" >/dev/null 2>&1; then missing+=("$p"); fi
  done
}
[[ ${#missing[@]} -gt 0 ]] || optional
if [[ ${#missing[@]} -eq 0 ]]; then
  ensure_japanese_locale "${1:-}"
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
[[ -n $optional_checked ]] || optional
echo "Installing: ${missing[*]}" >&2
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
ensure_japanese_locale "${1:-}"
