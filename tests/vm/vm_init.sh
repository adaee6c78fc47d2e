#!/bin/busybox sh
# PID 1 of the test machine: mount, load the disk drivers, run the checks, power off.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
# /run as a running system has it: the tool keeps its lock directory there.
mkdir -p /run
mount -t tmpfs -o mode=0755 tmpfs /run
for m in $(cat /modules.list); do modprobe "$m" 2>/dev/null; done
# Wait for the machine's disks (AHCI, USB, SCSI in the first machine) to register.
disks=$(cat /disks.expected 2>/dev/null || echo 3)
i=0
while [ "$(ls /sys/block | grep -c '^sd')" -lt "$disks" ] && [ $i -lt 60 ]; do sleep 0.5; i=$((i + 1)); done
echo "VM: disks: $(ls /sys/block | tr '\n' ' ')"
sh /checks.sh
echo "VM: done"
poweroff -f
