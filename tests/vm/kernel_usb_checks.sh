# The USB checks of the kernel-disk machine (sourced by kernel_disks_checks.sh while its server
# runs): the drives on bus "usb" are USB mass-storage devices on dummy_hcd's device side, bound
# by the host side's usb-storage: a supported bridge (ATA PASS-THROUGH(12) and the carrier) and
# an older bridge (vendor command blocks FFh as its own commands).
check serve-usb-disks sh -c "grep -q '^vtbench-serve: drive 2 (usb) is /dev/sdc' /tmp/serve.log &&
  grep -q '^vtbench-serve: drive 3 (usb) is /dev/sdd' /tmp/serve.log"
for d in sdc sdd; do echo "VM: /dev/$d is $(readlink -f /sys/block/$d)"; done
check usb-disks-on-dummy-hcd sh -c "readlink -f /sys/block/sdc | grep -q '/dummy_hcd\.0/usb' &&
  readlink -f /sys/block/sdd | grep -q '/dummy_hcd\.1/usb'"
check list-usb-rows sh -c "grep -q '^3 .*VT14USBQ0003 .* USB / SATA  *usb:/dev/sdc' /tmp/kernel/list &&
  grep -q '<< USB >>  Vantrel FK1X Flash Disk' /tmp/kernel/list"
same window-usb-row2 window --program-dir /tmp/prog --select 2 --json
same window-usb-smart window --program-dir /tmp/prog --select 2 --click GetSmartInfoBn --json
same window-usb-special-row2 window --program-dir /tmp/prog --special --select 2 --json

# The tool shows an older bridge as a line of the device combo only, so a client of another maker
# sends it vendor command blocks FFh, 12 and 16 bytes long, through usb-storage: the bridge takes
# them as its own commands and reads the controller's memory where the bench file put it. A block
# it refuses comes back as CHECK CONDITION with its sense, which usb-storage fetched with REQUEST
# SENSE.
sg_raw -r 512 -o /tmp/ff12.bin /dev/sdd FF 04 86 03 00 00 00 00 00 00 00 00 > /tmp/sg_raw.txt 2>&1
echo "rc=$?" >> /tmp/sg_raw.txt
sg_raw -r 512 -o /tmp/ff16.bin /dev/sdd FF 04 86 03 00 00 00 00 00 00 00 00 00 00 00 00 >> /tmp/sg_raw.txt 2>&1
echo "rc=$?" >> /tmp/sg_raw.txt
sg_raw -r 512 /dev/sdd FF 07 86 03 00 00 00 00 00 00 00 00 > /tmp/sg_raw-refused.txt 2>&1
echo "rc=$?" >> /tmp/sg_raw-refused.txt
echo "VM: sg_raw:"; cat /tmp/sg_raw.txt /tmp/sg_raw-refused.txt; od -A d -c /tmp/ff12.bin | head -n 2
check usb-older-vendor-blocks sh -c "[ \"\$(head -c 15 /tmp/ff12.bin)\" = 'FK1X PATH CHECK' ] &&
  cmp -s /tmp/ff12.bin /tmp/ff16.bin && [ \$(grep -c '^rc=0' /tmp/sg_raw.txt) -eq 2 ]"
check usb-older-refusal-sense grep -qi 'Illegal Request' /tmp/sg_raw-refused.txt
cache_checks usb sdc

# Commands per second through each kernel path: TEST UNIT READY through SG_IO, one at a time.
# (One-sector direct reads, as on the SCSI disk, are refused here: usb-storage asks buffers
# aligned to 512 bytes.)
for d in sda:0 sdc:2; do
  before=$(commands ${d#*:})
  t0=$(now_ms); sg_turs -n 1000 /dev/${d%:*} > /dev/null 2>&1; t1=$(now_ms)
  after=$(commands ${d#*:})
  echo "VM: figure turs /dev/${d%:*} $((after - before)) commands in $((t1 - t0)) ms"
done
refresh_figure usb 2 2

t0=$(now_ms); timeout 120 vtutil rwtest usb:/dev/sdc --yes > /tmp/rw-usb.txt 2>&1; echo "rc=$?" >> /tmp/rw-usb.txt
echo "VM: figure usb-rwtest-ms $(($(now_ms) - t0))"
echo "VM: rwtest on the USB disk:"; cat /tmp/rw-usb.txt
check usb-rwtest-passes grep -q '^R/W Test successfully' /tmp/rw-usb.txt

# Clients of other makers through the supported bridge: SAT with 12-byte commands, as smartctl
# must be told for a USB bridge; and what the bridges say of themselves.
smartctl -d sat,12 -i -A /dev/sdc > /tmp/smartctl-usb.txt 2>&1; echo "rc=$?" >> /tmp/smartctl-usb.txt
hdparm -I /dev/sdc > /tmp/hdparm-usb.txt 2>&1; echo "rc=$?" >> /tmp/hdparm-usb.txt
sg_inq /dev/sdc > /tmp/sg_inq-usb.txt 2>&1; echo "rc=$?" >> /tmp/sg_inq-usb.txt
sg_inq /dev/sdd > /tmp/sg_inq-older.txt 2>&1; echo "rc=$?" >> /tmp/sg_inq-older.txt
for f in smartctl-usb hdparm-usb sg_inq-usb sg_inq-older; do echo "VM: $f:"; cat /tmp/$f.txt; done
check usb-smartctl-identity sh -c "grep -q '^Device Model: *Vantrel VT514 SSD 64GB\$' /tmp/smartctl-usb.txt &&
  grep -q '^Serial Number: *VT14USBQ0003\$' /tmp/smartctl-usb.txt &&
  grep -q '^User Capacity: *1,073,741,824 bytes' /tmp/smartctl-usb.txt && grep -q '^rc=0' /tmp/smartctl-usb.txt"
check usb-smartctl-attributes sh -c "grep -q '^  9 Power_On_Hours .* 1234\$' /tmp/smartctl-usb.txt &&
  grep -q '^ 12 Power_Cycle_Count .* 56\$' /tmp/smartctl-usb.txt &&
  grep -q '^194 Temperature_Celsius .* 41 (Min/Max 18/63)\$' /tmp/smartctl-usb.txt"
check usb-hdparm-identity sh -c "grep -q 'Model Number: *Vantrel VT514 SSD 64GB' /tmp/hdparm-usb.txt &&
  grep -q 'Serial Number: *VT14USBQ0003' /tmp/hdparm-usb.txt && grep -q 'Checksum: correct' /tmp/hdparm-usb.txt"
check usb-sg_inq-bridges sh -c "grep -q 'Vendor identification: Vantrel' /tmp/sg_inq-usb.txt &&
  grep -q 'Product identification: q702 USB-SATA' /tmp/sg_inq-usb.txt &&
  grep -q 'Product identification: FK1X Flash Disk' /tmp/sg_inq-older.txt"

# Faults of a USB drive, once the first server has ended (its controllers are free again): a
# command left unanswered ends by the host's time-out and a reset of the device, after which the
# drive answers again; a drive that goes away leaves the bus; a failed command reports as on the
# bench.
usb_fault_checks() {
  : > /tmp/serve-usb.log
  vtbench-serve /kernel-usb-faults.json > /tmp/serve-usb.log 2>&1 &
  usb_pid=$!
  i=0
  while ! grep -q '^vtbench-serve: ready' /tmp/serve-usb.log && [ $i -lt 120 ] && kill -0 $usb_pid 2>/dev/null; do
    sleep 0.25; i=$((i + 1))
  done
  cat /tmp/serve-usb.log
  bench=/kernel-usb-faults.json
  dmesg -c > /dev/null
  t0=$(now_ms)
  same probe-usb-timeout probe usb:/dev/sda
  t1=$(now_ms)
  cat /tmp/kernel/probe-usb-timeout
  echo "VM: probe of a USB drive with a withheld command took $((t1 - t0)) ms on both backends"
  dmesg | grep -iE 'reset|abort|timed out' | tail -n 4
  check usb-timeout-took-real-time test $((t1 - t0)) -ge 10000
  check usb-timeout-device-reset sh -c "dmesg | grep -q 'reset high-speed USB device'"
  sg_sat_identify -l 12 -r /dev/sda > /tmp/after-usb.bin 2>/tmp/after-usb.err
  echo "VM: identify afterwards: rc=$? $(cat /tmp/after-usb.err)"
  check usb-timeout-drive-answers-again sh -c "[ \"\$(dd if=/tmp/after-usb.bin bs=2 skip=10 count=10 conv=swab 2>/dev/null)\" = 'VT14USBFLT01        ' ]"

  vtutil probe usb:/dev/sdb > /tmp/gone-usb.txt 2>&1; echo "rc=$?" >> /tmp/gone-usb.txt
  vtutil --bench "$bench" probe usb:/dev/sdb > /tmp/gone-bench.txt 2>&1; echo "rc=$?" >> /tmp/gone-bench.txt
  echo "VM: probe of a USB drive that goes away, through the kernel:"; cat /tmp/gone-usb.txt
  echo "VM: and on the bench:"; cat /tmp/gone-bench.txt
  # The kernel takes the node away with the device: the tool finds no such disk, or finds it and
  # cannot list it (the bench keeps a gone disk in its enumeration: "listed: no").
  check usb-gone-reported sh -c "grep -qE 'no disk usb:/dev/sdb|listed: no' /tmp/gone-usb.txt &&
    ! grep -q 'listed: yes' /tmp/gone-usb.txt && grep -q 'listed: no' /tmp/gone-bench.txt"
  i=0
  while [ -e /sys/block/sdb ] && [ $i -lt 40 ]; do sleep 0.1; i=$((i + 1)); done
  check usb-gone-leaves-the-bus sh -c "grep -q 'drive 1 went away' /tmp/serve-usb.log && [ ! -e /sys/block/sdb ]"
  vtutil list > /tmp/list-after-gone.txt 2>&1
  check usb-gone-not-listed sh -c "! grep -q '/dev/sdb' /tmp/list-after-gone.txt && grep -q 'usb:/dev/sda' /tmp/list-after-gone.txt"
  # A command the drive ends with an error: CHECK CONDITION with the ATA registers, whose sense
  # usb-storage fetches with REQUEST SENSE; the tool says what it says on the bench.
  same smart-usb-fail smart usb:/dev/sdc
  cat /tmp/kernel/smart-usb-fail
  kill -TERM $usb_pid; wait $usb_pid
  tail -n 4 /tmp/serve-usb.log
}
