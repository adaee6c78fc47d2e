#!/usr/bin/env bash
# Builds the test machine's initramfs: static busybox, the disk drivers of Debian's kernel, vtutil
# with the libraries it links, and the checks. Usage: make_initramfs.sh VTUTIL KERNEL_ROOT OUT
# Another machine of the same kind takes, from the environment: VM_CHECKS (the checks script),
# VM_MODULES (the modules to load), VM_DISKS (how many disks to wait for at boot), VM_PROGRAMS
# (more programs for /bin, with their libraries) and VM_FILES (SOURCE=DEST pairs).
set -euo pipefail
vtutil=$1 kroot=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
kver=$(ls "$kroot/lib/modules")
stage=$(mktemp -d)
chmod 755 "$stage"
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage"/{bin,proc,sys,dev,tmp,etc,lib/modules}
cp /bin/busybox "$stage/bin/busybox"
cp "$here/vm_init.sh" "$stage/init"
cp "${VM_CHECKS:-$here/vm_checks.sh}" "$stage/checks.sh"
echo "${VM_DISKS:-3}" > "$stage/disks.expected"
cp "$here/vm_helper_checks.sh" "$stage/helper_checks.sh"
chmod +x "$stage/init"
echo 'root:x:0:0:root:/:/bin/sh' > "$stage/etc/passwd"
echo 'nobody:x:65534:65534:nobody:/tmp:/bin/sh' >> "$stage/etc/passwd"
echo 'root:x:0:' > "$stage/etc/group"
echo 'nogroup:x:65534:' >> "$stage/etc/group"
# vtutil, the privileged helper built beside it, and the other programs, with every library
# they link, at the same paths.
for program in "$vtutil" "$(dirname "$vtutil")/vtutility-helper" ${VM_PROGRAMS:-}; do
  name=$(basename "$program")
  cp "$program" "$stage/bin/$name"
  objcopy --strip-debug "$stage/bin/$name" 2>/dev/null || true
  for lib in $(ldd "$program" | awk '/=>/ {print $3} /^\t\/lib/ {print $1}'); do
    mkdir -p "$stage$(dirname "$lib")"
    cp -L "$lib" "$stage$lib"
  done
done
for pair in ${VM_FILES:-}; do
  mkdir -p "$stage$(dirname "${pair#*=}")"
  cp "${pair%%=*}" "$stage${pair#*=}"
done
# The drivers the three disks need, with everything they depend on, and nothing else.
modules=${VM_MODULES:-"ahci sd_mod sg usb-storage xhci-pci ehci-pci virtio_pci virtio_scsi"}
for m in $modules; do
  modprobe -d "$kroot" -S "$kver" --show-depends "$m" | awk '$1 == "insmod" {print $2}'
done | sort -u | while read -r ko; do
  rel=${ko#"$kroot"}
  mkdir -p "$stage$(dirname "$rel")"
  cp "$ko" "$stage$rel"
done
cp "$kroot/lib/modules/$kver"/modules.{order,builtin,builtin.modinfo} "$stage/lib/modules/$kver/" 2>/dev/null || true
depmod -b "$stage" "$kver"
echo "$modules" > "$stage/modules.list"
(cd "$stage" && find . | cpio -o -H newc --quiet | gzip -1) > "$out"
