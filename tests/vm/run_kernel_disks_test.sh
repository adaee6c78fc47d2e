#!/usr/bin/env bash
# Boots Debian's own kernel under qemu with no disks of its own; inside, the device server puts the
# drives of kernel-bench.json behind real kernel disks (the SCSI target core's user-space backstore
# and loopback fabric), and vtutil on the Linux backend is compared with vtutil on the bench
# backend (kernel_disks_checks.sh). Usage: run_kernel_disks_test.sh VTUTIL SERVER CACHE_DIR.
# Exit 77: cannot run here.
set -euo pipefail
vtutil=$(readlink -f "$1")
server=$(readlink -f "$2")
cache=$(realpath -m "$3")
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIP: $*"; exit 77; }
source "$here/machine.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# VM_SERVE_OPTIONS: more options for the server (--trace, when looking into a failure).
echo "${VM_SERVE_OPTIONS:-}" > "$work/serve.options"
# The clients of other makers that must agree with the bench file, and setpriv and strace for the
# metrics service's confinement (scripts/install-deps.sh).
clients=""
for tool in smartctl hdparm sg_inq sg_sat_identify sg_turs sg_raw sg_modes setpriv strace; do
  path=$(PATH="$PATH:/usr/sbin:/sbin" command -v "$tool") || { echo "FAIL: $tool is not installed"; exit 1; }
  clients="$clients $path"
done
# The checks sourced by kernel_disks_checks.sh and the bench files they serve, at the root.
files=""
for f in "$here"/kernel_*_checks.sh "$here"/kernel_serve.sh "$here"/kernel-*.json; do
  files="$files $f=/$(basename "$f")"
done
# The metrics service's confinement as its unit states it: the capability bounding set in
# setpriv's words, and every system call its filter lets through.
unit="$here/../../packaging/systemd/vtutility-metrics.service.in"
sed -n 's/^CapabilityBoundingSet=//p' "$unit" | tr 'A-Z' 'a-z' |
  sed 's/cap_/+/g; s/ /,/g; s/^/-all,/' > "$work/unit.caps"
expand_calls() {  # systemd's system call groups, recursively
  local name
  for name; do
    case $name in
      @*) expand_calls $(systemd-analyze syscall-filter "$name" | sed '1d; s/^ *//; /^#/d; /^$/d') ;;
      *) echo "$name" ;;
    esac
  done
}
comm -23 <(expand_calls $(sed -n 's/^SystemCallFilter=\([^~]\)/\1/p' "$unit") | sort -u) \
  <(expand_calls $(sed -n 's/^SystemCallFilter=~//p' "$unit") | sort -u) > "$work/unit.syscalls"
[ -s "$work/unit.caps" ] && [ -s "$work/unit.syscalls" ] || { echo "FAIL: cannot read $unit"; exit 1; }
files="$files $work/unit.caps=/unit.caps $work/unit.syscalls=/unit.syscalls"
VM_CHECKS="$here/kernel_disks_checks.sh" VM_DISKS=0 VM_PROGRAMS="$server$clients" \
  VM_FILES="$files $work/serve.options=/serve.options" \
  VM_MODULES="configfs target_core_mod target_core_user tcm_loop uio sd_mod sg dummy_hcd libcomposite usb_f_fs usb-storage ext4 crc32c_generic" \
  bash "$here/make_initramfs.sh" "$vtutil" "$kroot" "$work/initrd.gz"

start=$(date +%s)
timeout 300 qemu-system-x86_64 -machine q35,accel=${VM_ACCEL:-tcg} -m 768 -smp 1 -nographic -no-reboot -net none \
  -kernel "$kernel" -initrd "$work/initrd.gz" \
  -append "console=ttyS0 quiet panic=-1" </dev/null > "$work/console.txt" 2>&1 || true
show_console "$work"
echo "vm: machine ran $(($(date +%s) - start)) s"
judge_console "$work" "$(cat "$here"/kernel_*checks.sh | grep -cE '^ *(check|same) ' || true)"
count_checks "$work"
exit "$failed"
