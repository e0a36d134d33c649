#!/usr/bin/env bash
# The plain suite and the Debian packages on Debian 13 ("trixie"). debootstrap
# makes a minimal root from this machine's own Debian archive (its address is
# read from apt's sources), a copy of the working tree goes into it, and there
# the project's own scripts do the rest as on a fresh Debian 13 machine:
# ensure-deps.sh --test installs from trixie's main archive, then test.sh runs
# its stages "plain" (without the fault sweeps, unless arguments say
# otherwise) and "package". Arguments go to ctest inside.
#
# The root is build-debian13/root. It is kept between runs (only the tree's
# copy and /tmp are renewed; the build folders inside stay, so builds are
# incremental) and made afresh with CI=true or after a debootstrap that did
# not finish. Every mount is made in a mount namespace of this script's own
# and the root's processes run in a PID namespace of their own: however a run
# ends, nothing stays mounted on the machine and nothing keeps running.
# Needs root (debootstrap, mounts, chroot).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/lib/debian-archive.sh"

suite=trixie
work=$root/build-debian13
target=$work/root
made=$work/root.made  # written when debootstrap has finished
times=$work/times     # "phase seconds" lines of this run
log=$work/inside.log  # the output of the run inside the root
tree=/work/mivotra    # the tree's copy, inside the root
keyring=/usr/share/keyrings/debian-archive-keyring.gpg

say() { echo "=== debian13: $*"; }
fail() {
  echo "debian13: $*" >&2
  exit 1
}
# The root's output, marked as such: the host's own suite prints the same lines.
mark() { sed -u 's/^/[trixie] /'; }

# COMMAND... in the root, with a clean environment (nothing of the host's
# display, locale or build settings leaks in).
in_root() {
  chroot "$target" /usr/bin/env -i \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    HOME=/root LANG=C.UTF-8 TERM=dumb "$@"
}

# True when anything is mounted at or below the root in this namespace.
root_has_mounts() {
  awk -v t="$target" '$5 == t || index($5, t "/") == 1 { found = 1 } END { exit !found }' \
    /proc/self/mountinfo
}

# A test that failed may leave an immutable file behind (chattr +i).
remove_tree() {
  rm -rf --one-file-system "$1" 2>/dev/null && return 0
  chattr -R -i "$1" 2>/dev/null || true
  rm -rf --one-file-system "$1"
}

# The part inside the namespaces: mounts, then the project's scripts in the
# root. Runs as PID 1 of its PID namespace, so its end ends every process
# left in the root.
inside() {
  trap 'umount -R "$target" 2>/dev/null || umount -R -l "$target"' EXIT
  # "/" in the root must be a mount point: the tests that make their mounts
  # private (mount --make-rprivate /) need one.
  mount --bind "$target" "$target"
  mount -t proc -o nosuid,nodev,noexec proc "$target/proc"
  mount -t sysfs -o ro,nosuid,nodev,noexec sysfs "$target/sys"
  mount --rbind /dev "$target/dev"
  mount -t tmpfs -o nosuid,nodev,mode=1777 tmpfs "$target/dev/shm"

  local start=$SECONDS status=0
  say "installing what Debian 13 needs (scripts/ensure-deps.sh --test)"
  # An earlier run stopped halfway through an installation leaves dpkg
  # waiting to be finished.
  in_root dpkg --configure -a 2>&1 | tee -a "$log" | mark || status=$?
  if [[ $status -eq 0 ]]; then
    in_root bash "$tree/scripts/ensure-deps.sh" --test 2>&1 | tee -a "$log" | mark || status=$?
  fi
  echo "install $((SECONDS - start))" >>"$times"
  [[ $status -eq 0 ]] || fail "installing in the root failed (exit $status)"

  say "building, the plain suite and the packages (scripts/test.sh, stages plain package)"
  in_root MIVOTRA_TEST_STAGES="plain package" bash "$tree/scripts/test.sh" "$@" 2>&1 |
    tee -a "$log" | mark || status=$?
  [[ $status -eq 0 ]] || fail "the run inside the root failed (exit $status)"
}

if [[ ${1:-} == --inside ]]; then
  shift
  inside "$@"
  exit 0
fi

if [[ $(id -u) -ne 0 ]]; then exec sudo --preserve-env=CI bash "$0" "$@"; fi
bash "$root/scripts/ensure-deps.sh" --test
mkdir -p "$work"
exec 9>"$work/lock"
flock -n 9 || fail "another run uses $target"
: >"$times"
: >"$log"

if [[ ${CI:-} == true || ! -f $made ]]; then
  rm -f "$made"
  root_has_mounts && fail "something is still mounted below $target; not removing it"
  [[ -e $target ]] && remove_tree "$target"
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  uri=$(debian_archive_uri "$codename" | head -n1)
  [[ -n $uri ]] || fail "no Debian archive for '$codename' in apt's sources"
  say "making a Debian 13 root with debootstrap from $uri"
  start=$SECONDS
  # Its own mount namespace: debootstrap's mounts of the root go with it even
  # when it fails halfway.
  if ! unshare --mount --propagation private \
    debootstrap --variant=minbase --keyring="$keyring" "$suite" "$target" "$uri" \
    >"$work/debootstrap.log" 2>&1; then
    tail -n 30 "$work/debootstrap.log" >&2
    [[ -f $target/debootstrap/debootstrap.log ]] && tail -n 30 "$target/debootstrap/debootstrap.log" >&2
    fail "debootstrap failed (whole log: $work/debootstrap.log)"
  fi
  # Packages installed in the root start no services.
  printf '#!/bin/sh\nexit 101\n' >"$target/usr/sbin/policy-rc.d"
  chmod 755 "$target/usr/sbin/policy-rc.d"
  echo "debootstrap $((SECONDS - start))" >>"$times"
  date -u >"$made"
else
  say "using the Debian 13 root of an earlier run ($target)"
fi
cp -L /etc/resolv.conf "$target/etc/resolv.conf"

# The working tree as it is now (tracked and new files, not the ignored ones);
# everything but the build folders is replaced, so files removed from the tree
# go too. tar keeps the times of the files, so the builds stay incremental.
dest=$target$tree
mkdir -p "$dest"
find "$dest" -mindepth 1 -maxdepth 1 ! -name 'build*' -exec rm -rf {} +
# safe.directory: run through sudo, git would refuse a clone of another user.
(cd "$root" && git -c safe.directory="$root" ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' f; do if [[ -e $f || -L $f ]]; then printf '%s\0' "$f"; fi; done |
  tar --null --files-from=- -cf -) | tar -xf - -C "$dest" ||
  fail "copying the working tree into the root failed"
remove_tree "$target/tmp"
mkdir -m 1777 "$target/tmp"

# The fault sweeps run in the host's plain stage on the same SQLCipher
# (4.6.1, the same compile options); here they would double the stage's time.
# Arguments given to test.sh replace this.
args=("$@")
((${#args[@]})) || args=(-E '^sweep/')
status=0
unshare --mount --pid --fork --kill-child --propagation private \
  bash "$0" --inside "${args[@]}" || status=$?

# The phases' times; the build's is the plain stage's less ctest's own.
phase() { awk -v p="$1" '$1 == p { print $2 }' "$times"; }
stage() { sed -n "s/^=== stage times: .*\\<$1 \\([0-9]*\\)s.*/\\1/p" "$log"; }
d=$(phase debootstrap) i=$(phase install) plain=$(stage plain) package=$(stage package)
suite_s=$(sed -n 's/^Total Test time (real) = *\([0-9]*\).*/\1/p' "$dest/build/ctest.log" 2>/dev/null || true)
if [[ -n $d ]]; then report="debootstrap ${d}s"; else report="debootstrap - (root kept)"; fi
report+=", install ${i:-?}s"
if [[ -n $plain && -n $suite_s ]]; then
  report+=", build $((plain - suite_s))s, suite ${suite_s}s"
elif [[ -n $plain ]]; then
  report+=", build ${plain}s (no suite ran)"
fi
if [[ -n $package ]]; then report+=", packages ${package}s"; fi
say "times: $report"
[[ $status -eq 0 ]] || fail "failed (the output is above, and in $log)"
