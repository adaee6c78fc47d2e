#!/usr/bin/env bash
# Boots Debian's own kernel under qemu with an AHCI SATA disk, a USB mass-storage disk and a SCSI
# disk, runs vtutil's checks inside (vm_checks.sh) and checks their console lines and, afterwards,
# the disks' backing files. Usage: run_vm_test.sh VTUTIL CACHE_DIR. Exit 77: cannot run here.
set -euo pipefail
vtutil=$(readlink -f "$1")
cache=$(realpath -m "$2")
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIP: $*"; exit 77; }
source "$here/machine.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash "$here/make_initramfs.sh" "$vtutil" "$kroot" "$work/initrd.gz"
truncate -s 2G "$work/sata.img"
truncate -s 64M "$work/usb.img"
truncate -s 64M "$work/scsi.img"

model="VTEST AHCI DISK"
serial="VT0001SERIAL"
timeout 300 qemu-system-x86_64 -machine q35,accel=tcg -m 768 -smp 1 -nographic -no-reboot -net none \
  -kernel "$kernel" -initrd "$work/initrd.gz" \
  -append "console=ttyS0 quiet panic=-1 vt_model=\"$model\" vt_serial=$serial" \
  -device ahci,id=ahci -drive "file=$work/sata.img,if=none,id=d0,format=raw" \
  -device "ide-hd,drive=d0,bus=ahci.0,model=$model,serial=$serial,rotation_rate=1" \
  -device qemu-xhci,id=xhci -drive "file=$work/usb.img,if=none,id=d1,format=raw" \
  -device usb-storage,bus=xhci.0,drive=d1 \
  -device virtio-scsi-pci,id=vs -drive "file=$work/scsi.img,if=none,id=d2,format=raw" \
  -device scsi-hd,drive=d2,bus=vs.0 </dev/null > "$work/console.txt" 2>&1 || true
show_console "$work"
judge_console "$work" "$(grep -c '^check ' "$here/vm_checks.sh" || true)"
if [ -f "$here/vm_host_checks.sh" ]; then
  source "$here/vm_host_checks.sh"
fi
count_checks "$work"
exit "$failed"
