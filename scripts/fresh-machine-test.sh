#!/usr/bin/env bash
# Proves the README's set-up on a fresh minimal Debian 12: makes a root with debootstrap from the
# Debian archive this machine's apt is configured for, copies the source tree into it, and there
# runs the README's install step, builds the default and windows presets and runs their tests. Everything this
# script mounts is unmounted again on every exit, failures and interrupts included.
#
# Usage: fresh-machine-test.sh [WORK_DIR]   (default: build-fresh/ in the source tree; needs root)
# The root is removed after a passing run (kept with VT_FRESH_KEEP=1) and kept after a failing one.
# Reused from this machine, so that a run costs minutes rather than an hour: the downloaded .deb
# files (apt's archive cache is bind-mounted) and, when ccache is installed here, the compiler
# cache (VT_CCACHE_DIR, default the one scripts/test-all.sh fills). Nothing else of the host's
# installed packages reaches the new root.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
work=$(mkdir -p "${1:-$src/build-fresh}" && cd "${1:-$src/build-fresh}" && pwd)
root=$work/root
suite=bookworm
started=$(date +%s)
say() { echo "fresh-machine: $*"; }

[ "$(id -u)" = 0 ] || { say "needs root (debootstrap, chroot, mount)"; exit 1; }
command -v debootstrap >/dev/null || { say "debootstrap is missing (scripts/install-deps.sh installs it)"; exit 1; }

# Everything mounted below $root, deepest first; also what an interrupted earlier run left.
unmount_all() {
  local target
  { grep -o " $root/[^ ]*" /proc/mounts || true; } | sed 's/^ //' | sort -r | while read -r target; do
    umount "$target" 2>/dev/null || umount -l "$target" 2>/dev/null || say "cannot unmount $target"
  done
}
# The root is removed only once nothing is mounted below it any more: a bind mount left in place
# would let the removal reach this machine's own files.
remove_root() {
  unmount_all
  if grep -q " $root/" /proc/mounts; then
    say "still mounted below $root: not removed"
    return 1
  fi
  rm -rf --one-file-system "$root"
}
finish() {
  local status=$?
  if [ "$status" = 0 ] && [ -z "${VT_FRESH_KEEP:-}" ]; then remove_root || status=1; else unmount_all; fi
  exit "$status"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The archive: the first Debian source of apt's configuration (one-line or deb822 form).
mirror=$(
  {
    cat /etc/apt/sources.list 2>/dev/null | awk '$1 == "deb" && $3 ~ /^bookworm$/ {print $2}'
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] && awk 'tolower($1) == "uris:" {u = $2} tolower($1) == "suites:" && / bookworm( |$)/ {print u}' "$f"
    done
    for f in /etc/apt/sources.list.d/*.list; do
      [ -f "$f" ] && awk '$1 == "deb" && $3 ~ /^bookworm$/ {print $2}' "$f"
    done
  } | grep -m1 . || true
)
mirror=${mirror:-http://deb.debian.org/debian}
say "archive $mirror, root $root"

remove_root
mkdir -p "$root"
apt_cache=/var/cache/apt/archives
mkdir -p "$apt_cache/partial"
debootstrap --variant=minbase --cache-dir="$apt_cache" "$suite" "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
  { tail -n 20 "$work/debootstrap.log"; say "debootstrap failed"; exit 1; }
say "minimal root made in $(($(date +%s) - started)) s"

# The same package sources (updates and security included) and network settings as this machine.
rm -f "$root/etc/apt/sources.list"
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] && cp "$f" "$root$f"
done
for f in /etc/apt/apt.conf.d/*; do
  [ -f "$f" ] && grep -q '^Acquire::' "$f" && cp "$f" "$root$f"
done
cp -L /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true

# The source tree as a clone has it (no build output).
mkdir -p "$root/src"
tar -C "$src" --exclude='./build*' --exclude=./.git --exclude=./.cache -cf - . | tar -C "$root/src" -xf -

mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
mount -t tmpfs tmpfs "$root/dev/shm"
mount -t tmpfs tmpfs "$root/run"
mount -t tmpfs tmpfs "$root/tmp"
mount --bind "$apt_cache" "$root/var/cache/apt/archives"
ccache_dir=${VT_CCACHE_DIR:-/var/cache/vtutility-ccache}
ccache_env=()
if command -v ccache >/dev/null && [ -d "$ccache_dir" ]; then
  mkdir -p "$root/ccache"
  mount --bind "$ccache_dir" "$root/ccache"
  ccache_env=(VT_CCACHE_DIR=/ccache)
fi

# The README's test command, limited to the default and windows presets: install, build, test.
set +e
chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  HOME=/root LANG=C.UTF-8 TERM=dumb "${ccache_env[@]}" bash -c '
    set -euo pipefail
    cd /src
    bash scripts/install-deps.sh
    echo "fresh-machine: install step done in $SECONDS s"
    source scripts/ccache-env.sh
    cmake --preset default
    cmake --build --preset default -j "$(nproc)"
    echo "fresh-machine: install step and build done in $SECONDS s"
    ctest --preset default -j "$(nproc)"
    cmake --preset windows
    cmake --build --preset windows -j "$(nproc)"
    ctest --preset windows -j "$(nproc)"
    echo "fresh-machine: the Windows build and its tests under Wine done in $SECONDS s"'
status=$?
set -e
say "stage took $(($(date +%s) - started)) s, exit $status"
exit "$status"
