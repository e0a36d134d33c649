#!/usr/bin/env bash
# Builds the Debian packages mivotra-patch and mivotra-sample-db into
# build-deb/packages/, from a fresh clone or incrementally. Installs what it
# needs. The compiler and linker flags are Debian's own (dpkg-buildflags), with
# every hardening feature on, so the binaries are built as a Debian package's
# would be. MIVOTRA_JOBS sets the parallel build jobs (default: every CPU).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/ensure-deps.sh" --package

build="$root/build-deb"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
export CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
export LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
# The build type None adds nothing to Debian's flags; the tests are not
# packaged, so they are not built here.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DMIVOTRA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"${MIVOTRA_JOBS:-$(nproc)}"
rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/packages/*.deb
