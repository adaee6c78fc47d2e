# The checks of the kernel-disk machine: the device server puts the bench file's drives behind
# real kernel disks, and vtutil on the Linux backend must see exactly what it sees on the bench
# backend with the same file. Each check prints one "CHECK name PASS|FAIL" line.
check() { name=$1; shift; if "$@"; then echo "CHECK $name PASS"; else echo "CHECK $name FAIL"; fi; }
bench=/kernel-bench.json
mkdir -p /tmp/kernel /tmp/bench
. /kernel_serve.sh
check serve-ready grep -q '^vtbench-serve: ready' /tmp/serve.log
if ! grep -q '^vtbench-serve: ready' /tmp/serve.log; then
  echo "VM: kernel log:"; dmesg | grep -A80 TCM_Loop | sed 's/^/  /'
  echo "VM: server waits in $(cat /proc/$serve_pid/wchan 2>/dev/null); $(cat /proc/$serve_pid/stat 2>/dev/null)"
  ls /sys/class/scsi_device /sys/block
fi
check serve-scsi-disks sh -c "[ \$(grep -c '(scsi) is /dev/sd' /tmp/serve.log) -eq 2 ]"

# Runs one vtutil command on both backends; the outputs must be the same, byte for byte.
same() {
  name=$1; shift
  vtutil "$@" > /tmp/kernel/$name 2>&1; echo "rc=$?" >> /tmp/kernel/$name
  vtutil --bench "$bench" "$@" > /tmp/bench/$name 2>&1; echo "rc=$?" >> /tmp/bench/$name
  if cmp -s /tmp/kernel/$name /tmp/bench/$name; then
    echo "CHECK same-$name PASS"
  else
    echo "CHECK same-$name FAIL"
    diff /tmp/bench/$name /tmp/kernel/$name | head -n 40
  fi
}
same list list
same list-json list --json
cat /tmp/kernel/list
check list-scsi-rows sh -c "grep -q '^1 .*VT14KDISK001 .* SCSI  *scsi:/dev/sda' /tmp/kernel/list && grep -q '^2 .*LOADER .* SCSI  *scsi:/dev/sdb' /tmp/kernel/list"
same window-row0 window --program-dir /tmp/prog --select 0 --json
same window-smart window --program-dir /tmp/prog --select 0 --click GetSmartInfoBn --json
same window-special-row0 window --program-dir /tmp/prog --special --select 0 --json
same window-special-row1 window --program-dir /tmp/prog --special --select 1 --json
same window-loader-gdp window --program-dir /tmp/prog --special --select 1 --click ReadFwDebugMsgGDP --json
check loader-log-read grep -q 'PWR: resume' /tmp/kernel/window-loader-gdp

# The time of one refresh (a row's selection) on each backend, and the commands it took. A
# process's start and the scan are timed apart (`list`): what a selection takes beyond them is the
# refresh itself.
now_ms() { awk '{printf "%d", $1 * 1000}' /proc/uptime; }
refresh_figure() {
  label=$1 row=$2 drive=$3
  before=$(commands $drive)
  t0=$(now_ms); vtutil window --program-dir /tmp/prog --select $row --json > /dev/null; t1=$(now_ms)
  after=$(commands $drive)
  t2=$(now_ms); vtutil list > /dev/null; t3=$(now_ms)
  vtutil --bench "$bench" window --program-dir /tmp/prog --select $row --json > /dev/null; t4=$(now_ms)
  vtutil --bench "$bench" list > /dev/null; t5=$(now_ms)
  echo "VM: figure $label-refresh-ms kernel $((t1 - t0)) (list $((t3 - t2))) bench $((t4 - t3)) (list $((t5 - t4))); $((after - before)) commands"
}
refresh_figure scsi 0 0

# One-sector direct reads: one command each through sd, the target core and the ring.
before=$(commands 0)
t0=$(now_ms); dd if=/dev/sda of=/dev/null bs=512 count=1000 iflag=direct 2>/dev/null; t1=$(now_ms)
after=$(commands 0)
echo "VM: figure scsi-reads $((after - before)) commands in $((t1 - t0)) ms"

# A file system on a kernel disk: while it is mounted rwtest is refused with its status, names the
# mount point and leaves every byte as it was (the first 88 MiB, which hold the file system and
# every run the test would write there, and the last sector, read past the page cache); unmounted,
# the test runs.
disk_sums() {
  for range in "bs=1M count=88" "bs=512 skip=2097151 count=1"; do
    dd if=/dev/sda iflag=direct $range 2>/dev/null | md5sum
  done
}
mkdir -p /mnt/vt
mke2fs -F /dev/sda 16384 > /tmp/mke2fs.txt 2>&1; mount -t ext2 /dev/sda /mnt/vt
check fs-mounted grep -q '^/dev/sda /mnt/vt ext2' /proc/mounts
if ! grep -q '^/dev/sda /mnt/vt' /proc/mounts; then
  echo "VM: mke2fs:"; cat /tmp/mke2fs.txt; echo "VM: file systems: $(grep -v nodev /proc/filesystems | tr '\n\t' '  ')"
  lsmod | grep -E 'ext4|jbd2|mbcache'
fi
# Read-only from here, so that only a writer other than the file system can change its sectors.
echo "kept by the file system" > /mnt/vt/keep.txt && sync && mount -o remount,ro /mnt/vt
disk_sums > /tmp/sums-before.txt
vtutil rwtest scsi:/dev/sda > /tmp/rw-plan.txt 2>&1; echo "rc=$?" >> /tmp/rw-plan.txt
vtutil rwtest scsi:/dev/sda --yes > /tmp/rw-busy.txt 2>&1; echo "rc=$?" >> /tmp/rw-busy.txt
echo "VM: rwtest on the mounted disk:"; cat /tmp/rw-plan.txt /tmp/rw-busy.txt
check rwtest-plan-names-mount grep -q '/dev/sda is mounted on /mnt/vt' /tmp/rw-plan.txt
check rwtest-refused-mounted sh -c "grep -qx 'rc=7' /tmp/rw-busy.txt &&
  grep -q 'R/W Test refused: /dev/sda is in use: /dev/sda is mounted on /mnt/vt' /tmp/rw-busy.txt"
disk_sums > /tmp/sums-after.txt
check rwtest-refused-wrote-nothing cmp -s /tmp/sums-before.txt /tmp/sums-after.txt
check fs-data-kept sh -c "grep -q '^/dev/sda /mnt/vt ext2 ro' /proc/mounts &&
  grep -qx 'kept by the file system' /mnt/vt/keep.txt"
umount /mnt/vt
check fs-unmounted sh -c "! grep -q '^/dev/sda ' /proc/mounts"

t0=$(now_ms); timeout 120 vtutil rwtest scsi:/dev/sda --yes > /tmp/rw.txt 2>&1; echo "rc=$?" >> /tmp/rw.txt
echo "VM: figure scsi-rwtest-ms $(($(now_ms) - t0))"
echo "VM: rwtest:"; cat /tmp/rw.txt
check rwtest-passes grep -q '^R/W Test successfully' /tmp/rw.txt

# Clients of other makers on the same disk agree with the bench file's data.
smartctl -i -A /dev/sda > /tmp/smartctl.txt 2>&1; echo "rc=$?" >> /tmp/smartctl.txt
hdparm -I /dev/sda > /tmp/hdparm.txt 2>&1; echo "rc=$?" >> /tmp/hdparm.txt
sg_inq /dev/sda > /tmp/sg_inq.txt 2>&1; echo "rc=$?" >> /tmp/sg_inq.txt
sg_sat_identify -i /dev/sda > /tmp/sg_sat.txt 2>&1; echo "rc=$?" >> /tmp/sg_sat.txt
sg_sat_identify -r /dev/sda > /tmp/identify.bin 2>/dev/null
for f in smartctl hdparm sg_inq sg_sat; do echo "VM: $f:"; cat /tmp/$f.txt; done
echo "VM: sg_sat_identify -r: $(wc -c < /tmp/identify.bin) bytes"; od -A d -t x1 /tmp/identify.bin | head -n 6
check smartctl-identity sh -c "grep -q '^Device Model: *Vantrel VT514 SSD 128GB\$' /tmp/smartctl.txt &&
  grep -q '^Serial Number: *VT14KDISK001\$' /tmp/smartctl.txt && grep -q '^Firmware Version: K142.30\$' /tmp/smartctl.txt &&
  grep -q '^User Capacity: *1,073,741,824 bytes' /tmp/smartctl.txt && grep -q '^rc=0' /tmp/smartctl.txt"
check smartctl-attributes sh -c "grep -q '^  9 Power_On_Hours .* 4321\$' /tmp/smartctl.txt &&
  grep -q '^ 12 Power_Cycle_Count .* 210\$' /tmp/smartctl.txt && grep -q '^192 .* 7\$' /tmp/smartctl.txt &&
  grep -q '^194 Temperature_Celsius .* 36 (Min/Max 20/58)\$' /tmp/smartctl.txt"
check hdparm-identity sh -c "grep -q 'Model Number: *Vantrel VT514 SSD 128GB' /tmp/hdparm.txt &&
  grep -q 'Serial Number: *VT14KDISK001' /tmp/hdparm.txt && grep -q 'Firmware Revision: *K142.30' /tmp/hdparm.txt &&
  grep -q 'LBA48  user addressable sectors: *2097152\$' /tmp/hdparm.txt && grep -q 'Checksum: correct' /tmp/hdparm.txt"
check sg_inq-translation sh -c "grep -q 'Vendor identification: ATA' /tmp/sg_inq.txt &&
  grep -q 'Product identification: Vantrel VT514 SS' /tmp/sg_inq.txt && grep -q 'Unit serial number: VT14KDISK001' /tmp/sg_inq.txt"
check sg_sat_identify-data sh -c "[ \$(wc -c < /tmp/identify.bin) -eq 512 ] &&
  [ \"\$(dd if=/tmp/identify.bin bs=2 skip=27 count=20 conv=swab 2>/dev/null)\" = 'Vantrel VT514 SSD 128GB                 ' ] &&
  [ \"\$(dd if=/tmp/identify.bin bs=2 skip=10 count=10 conv=swab 2>/dev/null)\" = 'VT14KDISK001        ' ] &&
  grep -q '^0x5001b44000000001\$' /tmp/sg_sat.txt"

# What sd made of the mode pages at attach: the write cache IDENTIFY reports, from the caching
# page that sg_modes reads too.
cache_checks() {
  label=$1 disk=$2
  sg_modes -p 8 /dev/$disk > /tmp/sg_modes-$disk.txt 2>&1; echo "rc=$?" >> /tmp/sg_modes-$disk.txt
  echo "VM: sg_modes /dev/$disk:"; cat /tmp/sg_modes-$disk.txt
  echo "VM: /dev/$disk cache: $(cat /sys/block/$disk/device/scsi_disk/*/cache_type)"
  check $label-cache-from-mode-page sh -c "grep -qx 'write back' /sys/block/$disk/device/scsi_disk/*/cache_type &&
    grep -q '^ 00  *08 12 04' /tmp/sg_modes-$disk.txt"
}
cache_checks scsi sda

# The drives behind the USB gadget while this server runs.
. /kernel_usb_checks.sh
# The metrics service's capabilities and system calls, on all four drives.
. /kernel_metrics_checks.sh

# Everything the drives got is in the server's images once it ends.
kill -TERM $serve_pid; wait $serve_pid
echo "VM: server ended:"; tail -n 3 /tmp/serve.log
sector_hex() { dd if=/tmp/dump/drive$1.img bs=512 skip="$2" count=1 2>/dev/null | od -An -v -tx1 | tr -d ' \n'; }
check image-sector0-ffff test "$(sector_hex 0 0)" = "$(printf 'ff%.0s' $(seq 512))"
check image-lba150-pattern test "$(sector_hex 0 150 | cut -c1-16)" = "0096019602960396"
check usb-image-lba150-pattern test "$(sector_hex 2 150 | cut -c1-16)" = "0096019602960396"

usb_fault_checks

# Faults of the bench file as real kernel errors, and processes kept apart.
. /kernel_fault_checks.sh
