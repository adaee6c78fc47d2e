# Sourced by the virtual-machine tests: Debian's current kernel package, unpacked (not installed)
# once into the cache directory $cache, with its module index. Sets $kroot, $kver and $kernel;
# calls skip (defined by the caller) when the package cannot be had. Several tests share the cache
# and may start at once: the fetch runs under a lock, and a test that waited finds the kernel
# already there.
mkdir -p "$cache"
kroot="$cache/kernel"
exec {kernel_lock}>"$cache/kernel.lock"
flock "$kernel_lock"
if [ ! -d "$kroot/boot" ]; then
  kernel_package() { apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}'; }
  package=$(kernel_package)
  if [ -z "$package" ] && [ "$(id -u)" = 0 ]; then
    # A machine with every package installed may still have empty package lists.
    apt-get update -qq >/dev/null 2>&1 || true
    package=$(kernel_package)
  fi
  [ -n "$package" ] || skip "cannot find the kernel package (apt-get update failed or needs root)"
  (cd "$cache" && apt-get download "$package" >/dev/null 2>&1) || skip "cannot download $package"
  rm -rf "$kroot.tmp" && dpkg -x "$cache/$package"_*.deb "$kroot.tmp" && mv "$kroot.tmp" "$kroot"
  rm -f "$cache/$package"_*.deb
fi
# The module index too is made under the lock: a test reading it while another writes it finds
# no module at all.
kver=$(ls "$kroot/lib/modules" | head -n 1)
[ -f "$kroot/lib/modules/$kver/modules.dep.bin" ] || depmod -b "$kroot" "$kver"
flock -u "$kernel_lock"
exec {kernel_lock}>&-
kernel=$(ls "$kroot"/boot/vmlinuz-* | head -n 1)
