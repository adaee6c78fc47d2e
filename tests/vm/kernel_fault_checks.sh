# The fault checks of the kernel-disk machine (sourced by kernel_disks_checks.sh, whose check,
# same and now_ms it uses): faults of the bench file become real kernel errors and time-outs, and
# two processes on one disk are kept apart by the drive lock.

# Starts the device server on a bench file and waits until its disks are there: serve_start LOG
# OPTIONS... (sets serve_pid).
serve_start() {
  log=$1; shift
  : > "$log"
  vtbench-serve "$@" > "$log" 2>&1 &
  serve_pid=$!
  i=0
  while ! grep -q '^vtbench-serve: ready' "$log" && [ $i -lt 120 ] && kill -0 $serve_pid 2>/dev/null; do
    sleep 0.25; i=$((i + 1))
  done
  cat "$log"
}
# True when the tool said the same through the kernel as on the bench; shows the difference if not.
matches() {
  cmp -s /tmp/kernel/$1 /tmp/bench/$1 && return 0
  diff /tmp/bench/$1 /tmp/kernel/$1 | head -n 40
  return 1
}
# The window's JSON without what a capture of one drive cannot hold: the scan's list of all disks,
# the row and the carrier mode the scan of the last disk left.
window_core() {
  awk '/^    "(ListView1|DeviceList)": \{$/ {skip = 1} !skip && !/"(CurrentDevice|CarrierMode)":/ {print}
       skip && /^    \},?$/ {skip = 0}'
}

# A drive that never answers one command while the target core's own time-out is shorter than
# the tool's: the target core ends it for real, the tool goes on as on the bench (which times the
# same command out), and the drive answers again.
part=$(now_ms)
bench=/kernel-faults.json
serve_start /tmp/serve2.log --time-out 3 "$bench"
t0=$(now_ms)
same probe-timeout probe
t1=$(now_ms)
cat /tmp/kernel/probe-timeout
echo "VM: probe with a withheld command took $((t1 - t0)) ms on both backends"
check timeout-took-real-time test $((t1 - t0)) -ge 3000
sg_sat_identify -r /dev/sda > /tmp/after.bin 2>/tmp/after.err; echo "VM: identify afterwards: rc=$? $(cat /tmp/after.err)"
check timeout-drive-answers-again sh -c "[ \"\$(dd if=/tmp/after.bin bs=2 skip=10 count=10 conv=swab 2>/dev/null)\" = 'VT14FAULT001        ' ]"
kill -TERM $serve_pid; wait $serve_pid
echo "VM: figure fault-short-time-out $(($(now_ms) - part)) ms"

# The target core now waits 12 s, longer than the tool's 10 s: the tool's request times out
# first, so the midlayer's error handler aborts the command through the loopback host (ABORT TASK
# to the target core, which completes only when the target core's own time-out ends the command).
# The midlayer says what its error handler does from recovery logging level 4 on.
part=$(now_ms)
bench=/kernel-faults-eh.json
serve_start /tmp/serve3.log --time-out 12 "$bench"
check eh-serve-disks sh -c "[ \$(grep -c '(scsi) is /dev/sd' /tmp/serve3.log) -eq 3 ]"
echo 4 > /proc/sys/dev/scsi/logging_level
kernel_log=$(dmesg | wc -l)
t0=$(now_ms)
(vtutil smart 1 > /tmp/kernel/eh-smart 2>&1; echo "rc=$?" >> /tmp/kernel/eh-smart) &
holder=$!
# The first process holds the drive's lock from its selection on; once the server withholds the
# SMART read it stays in the kernel until the error handler is done: at least 10 s.
i=0
while ! grep -q 'withholds \[' /tmp/serve3.log && [ $i -lt 100 ] && kill -0 $holder 2>/dev/null; do
  sleep 0.1; i=$((i + 1))
done
grep 'withholds' /tmp/serve3.log
t_held=$(now_ms)
vtutil list > /tmp/busy.txt 2>&1; echo "rc=$?" >> /tmp/busy.txt
t_busy=$(now_ms)
echo "VM: a second process on the held disk:"; cat /tmp/busy.txt
check lock-second-process-refused sh -c "grep -qx 'vtutil: /dev/sda is in use by another process' /tmp/busy.txt && grep -qx 'rc=6' /tmp/busy.txt"
sg_sat_identify -r /dev/sdb > /tmp/sdb.bin 2>/dev/null
check lock-other-disk-answers-meanwhile sh -c "kill -0 $holder &&
  [ \"\$(dd if=/tmp/sdb.bin bs=2 skip=10 count=10 conv=swab 2>/dev/null)\" = 'VT14SPARE002        ' ]"
wait $holder
t1=$(now_ms)
vtutil --bench "$bench" smart 1 > /tmp/bench/eh-smart 2>&1; echo "rc=$?" >> /tmp/bench/eh-smart
cat /tmp/kernel/eh-smart
echo "VM: figure eh-time-out: the withheld SMART read took $((t1 - t0)) ms; the refused process $((t_busy - t_held)) ms"
check eh-smart-as-on-bench matches eh-smart
check eh-took-real-time test $((t1 - t_held)) -ge 10000
dmesg | tail -n +$((kernel_log + 1)) > /tmp/eh-dmesg.txt
echo 0 > /proc/sys/dev/scsi/logging_level
echo "VM: kernel log of the time-out:"; sed 's/^/  /' /tmp/eh-dmesg.txt
# The midlayer, not the target core, ended the command: it aborted it and finished it itself.
check eh-midlayer-aborted sh -c "grep -q '\[sda\].* aborting command' /tmp/eh-dmesg.txt &&
  grep -q 'ABORT_TASK: Sending TMR_FUNCTION_COMPLETE' /tmp/eh-dmesg.txt &&
  grep -q '\[sda\].* finish aborted command' /tmp/eh-dmesg.txt"
# The lock is free again and the drive answers: the list is the bench's, every drive in it.
same eh-list-after list

# A capture of a kernel disk replays as the kernel showed it.
t0=$(now_ms)
vtutil capture 2 -o /tmp/capture.json > /tmp/capture.txt 2>&1; echo "rc=$?" >> /tmp/capture.txt
cat /tmp/capture.txt
vtutil window --program-dir /tmp/prog --select 1 --click GetSmartInfoBn --json 2>&1 | window_core > /tmp/kernel/capture-window
vtutil --bench /tmp/capture.json window --program-dir /tmp/prog --select 0 --click GetSmartInfoBn --json 2>&1 | window_core > /tmp/bench/capture-window
echo "VM: figure capture-and-replay $(($(now_ms) - t0)) ms"
check capture-kernel-disk sh -c "grep -qx 'rc=0' /tmp/capture.txt && grep -q '\"Power on hour=1202\"' /tmp/kernel/capture-window &&
  grep -q '\"Erase count=' /tmp/kernel/capture-window"
check capture-replays-as-kernel matches capture-window

# A drive that goes away with a command: the tool fails as on the bench, the disk leaves the
# kernel, and the server and the other drives carry on. With a write-back cache sd flushes it
# while it detaches the disk, and the server must answer that (the drive is gone) meanwhile:
# were it to wait for the detach itself, only the target core's 12 s time-out would end the flush.
for f in /sys/block/sdc/device/scsi_disk/*/cache_type; do echo 'temporary write back' > "$f"; done
kernel_log=$(dmesg | wc -l)
t0=$(now_ms)
same gone-smart smart 3
i=0
while [ -e /sys/block/sdc ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
echo "VM: figure gone: the tool on both backends and the disk's removal took $(($(now_ms) - t0)) ms"
dmesg | tail -n +$((kernel_log + 1)) | grep sdc | sed 's/^/  /'
check gone-disk-left-kernel sh -c "[ ! -e /sys/block/sdc ] && grep -q '^vtbench-serve: drive 2 went away' /tmp/serve3.log &&
  dmesg | tail -n +$((kernel_log + 1)) | grep -q '\[sdc\] Add. Sense: Logical unit not supported'"
vtutil list > /tmp/gone-list.txt 2>&1; echo "rc=$?" >> /tmp/gone-list.txt
cat /tmp/gone-list.txt
check gone-not-listed-others-answer sh -c "kill -0 $serve_pid && grep -qx 'rc=0' /tmp/gone-list.txt &&
  grep -q '^1 .*VT14HELD0001 .* scsi:/dev/sda\$' /tmp/gone-list.txt && grep -q '^2 .*VT14SPARE002 .* scsi:/dev/sdb\$' /tmp/gone-list.txt &&
  ! grep -q -e VT14GONE0003 -e sdc /tmp/gone-list.txt"
kill -TERM $serve_pid; wait $serve_pid; serve_status=$?
tail -n 4 /tmp/serve3.log
check eh-server-ends-cleanly sh -c "[ $serve_status -eq 0 ] && ! ls /sys/kernel/config/target/loopback | grep -q naa &&
  ! ls /sys/kernel/config/target/core/user_0 | grep -q vtbench"
echo "VM: figure fault-error-handler-lock-gone $(($(now_ms) - part)) ms"
