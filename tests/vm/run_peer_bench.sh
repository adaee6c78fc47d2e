#!/usr/bin/env bash
# A benchmark, reported and never asserted: vtutil against the peers (smartctl, hdparm, sg3-utils)
# on the same kernel disks, the SCSI target's disk and the supported USB bridge, in one virtual
# machine. Runs interleave, so a slow moment of the host hits every program alike; the table
# gives medians, the ratio to the peer, the commands each sent and the per-command floor of each
# path (sg_turs -n 1000).
# Usage: run_peer_bench.sh VTUTIL SERVER CACHE_DIR [RUNS]   (RUNS per program, default 30)
set -euo pipefail
vtutil=$(readlink -f "$1")
server=$(readlink -f "$2")
cache=$(realpath -m "$3")
runs=${4:-30}
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIP: $*"; exit 77; }
source "$here/machine.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "$runs" > "$work/runs"
programs="$server"
for tool in bash smartctl hdparm sg_turs; do
  path=$(PATH="$PATH:/usr/sbin:/sbin" command -v "$tool") || { echo "FAIL: $tool is not installed"; exit 1; }
  programs="$programs $path"
done
VM_CHECKS="$here/kernel_peer_bench.sh" VM_DISKS=0 VM_PROGRAMS="$programs" \
  VM_FILES="$here/kernel-bench.json=/kernel-bench.json $here/kernel_serve.sh=/kernel_serve.sh $here/peer_bench.bash=/peer_bench.bash $work/runs=/bench.runs" \
  VM_MODULES="configfs target_core_mod target_core_user tcm_loop uio sd_mod sg dummy_hcd libcomposite usb_f_fs usb-storage" \
  bash "$here/make_initramfs.sh" "$vtutil" "$kroot" "$work/initrd.gz"
timeout 3000 qemu-system-x86_64 -machine q35,accel=${VM_ACCEL:-tcg} -m 768 -smp 1 -nographic -no-reboot -net none \
  -kernel "$kernel" -initrd "$work/initrd.gz" \
  -append "console=ttyS0 quiet panic=-1" </dev/null > "$work/console.txt" 2>&1 || true
tr -d '\r' < "$work/console.txt" | grep -v '^\[' > "$work/console.clean"
grep '^BENCH' "$work/console.clean" | sed 's/^BENCH //' || { cat "$work/console.clean"; exit 1; }
grep -q '^VM: done' "$work/console.clean" || { echo "the machine did not finish"; exit 1; }
