# The metrics service's confinement on real kernel disks (sourced by kernel_disks_checks.sh while
# its server runs all four drives): with no capability but the ones the unit's bounding set keeps
# (/unit.caps, in setpriv's words), vtutil metrics reads every drive as it does with all of root's;
# without them it fails and says why; and it makes no system call the unit's filter refuses
# (/unit.syscalls, the calls the filter lets through).
unit_caps=$(cat /unit.caps)
# util-linux's, by its path: busybox's shell would run its own applet of the name.
setpriv=/bin/setpriv
times_dropped() { grep -v '^vtutility_collection_\(duration\|timestamp\)_seconds ' "$1"; }
metrics_as() {  # NAME BOUNDING-SET: vtutil metrics as root with only these capabilities
  $setpriv --bounding-set="$2" --inh-caps=-all -- vtutil metrics > /tmp/metrics-$1.prom 2> /tmp/metrics-$1.err
  echo "rc=$?" >> /tmp/metrics-$1.err
  times_dropped /tmp/metrics-$1.prom > /tmp/metrics-$1.values
  echo "VM: metrics with capabilities $2: $(grep -c '^vtutility_' /tmp/metrics-$1.prom) samples"
  cat /tmp/metrics-$1.err
}
echo "VM: the unit's capabilities: $unit_caps; as setpriv sets them: $($setpriv --bounding-set="$unit_caps" --inh-caps=-all -- grep CapEff /proc/self/status)"
check metrics-unit-capability-set sh -c "$setpriv --bounding-set='$unit_caps' --inh-caps=-all -- grep -qx 'CapEff:.0000000000020000' /proc/self/status"
metrics_as root +all
metrics_as unit "$unit_caps"
metrics_as none -all
check metrics-read-with-unit-capabilities sh -c "cmp -s /tmp/metrics-root.values /tmp/metrics-unit.values &&
  cmp -s /tmp/metrics-root.err /tmp/metrics-unit.err &&
  grep -q '^vtutility_drive_read_success{disk=\"1\"} 1\$' /tmp/metrics-unit.prom &&
  grep -q '^vtutility_drive_read_success{disk=\"3\"} 1\$' /tmp/metrics-unit.prom"
diff /tmp/metrics-root.values /tmp/metrics-unit.values | head -n 20
# The kernel still lets the reads sent as ATA PASS-THROUGH(12) pass (below), so the drives are
# listed, but the identity of the SCSI ones is refused: each is reported, and published as not
# read.
check metrics-without-capabilities-fails-clearly sh -c "grep -q '^rc=3' /tmp/metrics-none.err &&
  grep -q 'disk 1: No permission .* lacks the capability CAP_SYS_RAWIO' /tmp/metrics-none.err &&
  grep -q '^vtutility_drive_read_success{disk=\"1\"} 0\$' /tmp/metrics-none.prom"
echo "VM: metrics without capabilities, against all of root's:"
diff /tmp/metrics-root.values /tmp/metrics-none.values | grep '^[-+]vtutility' | cut -c1-150 | head -n 12

# What SG_IO asks of a SCSI disk node. Anyone who opened the node may send the read-only commands
# (INQUIRY, TEST UNIT READY, READ); ATA PASS-THROUGH(12) passes with the node open for writing,
# since the kernel's table of write-safe commands knows A1h as MMC's BLANK; ATA PASS-THROUGH(16)
# and vendor opcodes (FFh) need CAP_SYS_RAWIO, whatever the open.
sgio() {  # NAME BOUNDING-SET COMMAND...: runs a client with these capabilities, prints its status
  name=$1 caps=$2; shift 2
  $setpriv --bounding-set="$caps" --inh-caps=-all -- "$@" > /tmp/sgio-$name.txt 2>&1
  echo $?
}
inquiry=$(sgio inquiry -all sg_inq /dev/sda)
ready=$(sgio ready -all sg_turs /dev/sda)
read10=$(sgio read -all sg_raw -R -r 512 -o /tmp/sgio-read.bin /dev/sda 28 00 00 00 00 00 00 00 01 00)
identify16="85 08 0e 00 00 00 01 00 00 00 00 00 00 00 ec 00"
ata_rw=$(sgio ata-rw -all sg_raw -v -r 512 -o /tmp/sgio-ata.bin /dev/sda $identify16)
ata_rawio=$(sgio ata-rawio "$unit_caps" sg_raw -v -R -r 512 -o /tmp/sgio-ata.bin /dev/sda $identify16)
vendor_rw=$(sgio vendor-rw -all sg_raw -v -r 512 -o /tmp/sgio-ff.bin /dev/sdd FF 04 86 03 00 00 00 00 00 00 00 00)
vendor_rawio=$(sgio vendor-rawio "$unit_caps" sg_raw -v -R -r 512 -o /tmp/sgio-ff.bin /dev/sdd FF 04 86 03 00 00 00 00 00 00 00 00)
identify12="a1 08 0e 00 01 00 00 00 00 ec 00 00"
ata12_rw=$(sgio ata12-rw -all sg_raw -v -r 512 -o /tmp/sgio-ata12.bin /dev/sda $identify12)
ata12_ro=$(sgio ata12-ro -all sg_raw -v -R -r 512 -o /tmp/sgio-ata12.bin /dev/sda $identify12)
echo "VM: figure sgio-without-capabilities inquiry rc=$inquiry test-unit-ready rc=$ready read10 rc=$read10" \
  "ata12-read-write-open rc=$ata12_rw ata12-read-only-open rc=$ata12_ro ata16-read-write-open rc=$ata_rw" \
  "vendor-ff rc=$vendor_rw; with CAP_SYS_RAWIO: ata16 rc=$ata_rawio vendor-ff rc=$vendor_rawio"
check sgio-read-commands-need-no-capability test "$inquiry$ready$read10$ata12_rw" = 0000
check sgio-ata12-needs-write-open-ata16-and-vendor-rawio sh -c "grep -q 'Operation not permitted' /tmp/sgio-ata12-ro.txt &&
  grep -q 'Operation not permitted' /tmp/sgio-ata-rw.txt && grep -q 'Operation not permitted' /tmp/sgio-vendor-rw.txt &&
  [ $ata_rawio -eq 0 ] && [ $vendor_rawio -eq 0 ]"

# Every system call of a collection on the Linux backend, the metrics file written as the unit
# writes it, against the unit's filter.
$setpriv --bounding-set="$unit_caps" --inh-caps=-all -- strace -f -qq -o /tmp/metrics.trace vtutil metrics --output /tmp/vtutility.prom > /dev/null 2>&1
sed -n 's/^[0-9]* *\([a-z0-9_]*\)(.*/\1/p' /tmp/metrics.trace | sort -u > /tmp/metrics.syscalls
grep -vxF -f /unit.syscalls /tmp/metrics.syscalls > /tmp/metrics.refused
echo "VM: vtutil metrics made $(wc -l < /tmp/metrics.syscalls) kinds of system call:" $(cat /tmp/metrics.syscalls)
echo "VM: of them the unit refuses:" $(cat /tmp/metrics.refused)
check metrics-system-calls-in-unit-filter sh -c "[ -s /tmp/metrics.syscalls ] && [ ! -s /tmp/metrics.refused ]"
