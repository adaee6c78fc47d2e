# The checks run inside the test machine; each prints one "CHECK name PASS|FAIL" line. The kernel
# command line carries the model and serial qemu gave the AHCI disk.
check() { name=$1; shift; if "$@"; then echo "CHECK $name PASS"; else echo "CHECK $name FAIL"; fi; }
model=$(sed -n 's/.*vt_model="\([^"]*\)".*/\1/p' /proc/cmdline)
serial=$(sed -n 's/.*vt_serial=\([^ ]*\).*/\1/p' /proc/cmdline)

vtutil list > /tmp/list.txt 2>/tmp/list.err
echo "VM: list:"; cat /tmp/list.txt /tmp/list.err
check enumerate-ide grep -q '^ide:/dev/sd' /tmp/list.txt
check enumerate-usb grep -q '^usb:/dev/sd' /tmp/list.txt
check enumerate-scsi grep -q '^scsi:/dev/sd' /tmp/list.txt
ide=$(grep -o '^ide:/dev/sd[a-z]*' /tmp/list.txt | head -n 1)
usb=$(grep -o '^usb:/dev/sd[a-z]*' /tmp/list.txt | head -n 1)
grep -E '^(ide|usb|scsi|sbp2|other):/dev/' /tmp/list.txt | awk '{sub(/^[a-z0-9]*:/, "", $1); print $1}' > /tmp/nodes.txt
check paths-open sh -c 'for n in $(cat /tmp/nodes.txt); do [ -b "$n" ] && dd if="$n" of=/dev/null bs=512 count=1 2>/dev/null || exit 1; done; [ -s /tmp/nodes.txt ]'

timeout 120 vtutil probe > /tmp/probe.txt 2>&1; echo "rc=$?" >> /tmp/probe.txt
echo "VM: probe:"; cat /tmp/probe.txt
check probe-finishes grep -q '^rc=0' /tmp/probe.txt
check probe-model grep -q "model \"$model\", serial \"$serial\"" /tmp/probe.txt
check probe-rotation grep -q 'rotation rate 1$' /tmp/probe.txt
check probe-unlock-reason grep -q 'listed: no (vendor unlock rejected: ABORTED, error 04h' /tmp/probe.txt
check probe-usb-ata-refused sh -c "grep -A6 '^$usb' /tmp/probe.txt | grep -q 'ATA PASS-THROUGH(16) IDENTIFY: failed: .*ILLEGAL REQUEST'"
check scan-lists-nothing sh -c "! grep -q 'listed: yes' /tmp/probe.txt"

su -s /bin/sh nobody -c 'vtutil list' > /tmp/user.txt 2>&1; echo "rc=$?" >> /tmp/user.txt
echo "VM: unprivileged list:"; cat /tmp/user.txt
check user-rights-message grep -q "No permission to send commands to $ide.*root" /tmp/user.txt
check user-exit-status grep -q '^rc=2' /tmp/user.txt

timeout 250 vtutil rwtest "$ide" --yes > /tmp/rw.txt 2>&1; echo "rc=$?" >> /tmp/rw.txt
echo "VM: rwtest:"; cat /tmp/rw.txt
check rwtest-passes grep -q '^R/W Test successfully' /tmp/rw.txt
check rwtest-exit-status grep -q '^rc=0' /tmp/rw.txt
sh /helper_checks.sh
sync
