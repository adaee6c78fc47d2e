# The fault checks of the kernel-disk machine (sourced by kernel_disks_checks.sh, whose check,
# same and now_ms it uses): faults of the bench file become real kernel errors and time-outs.
# A drive that never answers one command: the target core's time-out ends it for real, the tool
# goes on as on the bench (which times the same command out), and the drive answers again.
: > /tmp/serve2.log
vtbench-serve --time-out 3 /kernel-faults.json > /tmp/serve2.log 2>&1 &
serve_pid=$!
i=0
while ! grep -q '^vtbench-serve: ready' /tmp/serve2.log && [ $i -lt 120 ] && kill -0 $serve_pid 2>/dev/null; do
  sleep 0.25; i=$((i + 1))
done
cat /tmp/serve2.log
bench=/kernel-faults.json
t0=$(now_ms)
same probe-timeout probe
t1=$(now_ms)
cat /tmp/kernel/probe-timeout
echo "VM: probe with a withheld command took $((t1 - t0)) ms on both backends"
check timeout-took-real-time test $((t1 - t0)) -ge 3000
sg_sat_identify -r /dev/sda > /tmp/after.bin 2>/tmp/after.err; echo "VM: identify afterwards: rc=$? $(cat /tmp/after.err)"
check timeout-drive-answers-again sh -c "[ \"\$(dd if=/tmp/after.bin bs=2 skip=10 count=10 conv=swab 2>/dev/null)\" = 'VT14FAULT001        ' ]"
dmesg | grep -iE 'abort|time' | tail -n 4
kill -TERM $serve_pid; wait $serve_pid
