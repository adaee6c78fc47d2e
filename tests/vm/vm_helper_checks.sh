# Inside the test machine: vtutil as the unprivileged user nobody, its drive access through the
# helper running as root on the real kernel disks. The machine has no pkexec, so VTUTIL_HELPER
# names a bridge that nobody may run: it joins the client's socket to two FIFOs on which root
# runs the helper. The FIFOs are open to every user; acceptable on a machine with one test in it.
# Each check prints one "CHECK name PASS|FAIL" line; timings print as "VM: timing" lines.
check() { name=$1; shift; if "$@"; then echo "CHECK $name PASS"; else echo "CHECK $name FAIL"; fi; }
model=$(sed -n 's/.*vt_model="\([^"]*\)".*/\1/p' /proc/cmdline)
serial=$(sed -n 's/.*vt_serial=\([^ ]*\).*/\1/p' /proc/cmdline)
uptime_cs() { awk '{ printf "%d\n", $1 * 100 }' /proc/uptime; }

rm -f /tmp/helper.in /tmp/helper.out
mkfifo -m 666 /tmp/helper.in /tmp/helper.out
# dd passes on what each read returns at once (busybox cat stalls here); the answers are copied
# in the background, whose standard input the shell would have replaced.
cat > /bin/vt-helper-bridge <<'BRIDGE'
#!/bin/sh
dd bs=65536 < /tmp/helper.out 2>/dev/null &
exec dd bs=65536 > /tmp/helper.in 2>/dev/null
BRIDGE
chmod 755 /bin/vt-helper-bridge

# Runs vtutil with the given arguments as nobody through a fresh helper; output in $1.
as_user() {
  out=$1; shift
  vtutility-helper < /tmp/helper.in > /tmp/helper.out 2>/tmp/helper.err &
  helper=$!
  su -s /bin/sh nobody -c "VTUTIL_HELPER=/bin/vt-helper-bridge vtutil $*" > "$out" 2>&1
  echo "rc=$?" >> "$out"
  # The helper ends when its client is gone; a helper still running after 10 s is a failure.
  i=0
  while kill -0 "$helper" 2>/dev/null && [ $i -lt 20 ]; do sleep 0.5; i=$((i + 1)); done
  if kill -0 "$helper" 2>/dev/null; then kill "$helper"; echo "helper-still-running" >> "$out"; fi
  wait "$helper" 2>/dev/null
}

start=$(uptime_cs); vtutil list > /tmp/root-list.txt 2>&1; root_cs=$(($(uptime_cs) - start))
start=$(uptime_cs); as_user /tmp/helper-list.txt list; user_cs=$(($(uptime_cs) - start))
echo "VM: helper list:"; cat /tmp/helper-list.txt /tmp/helper.err
echo "VM: timing list: root ${root_cs}0 ms, nobody through the helper ${user_cs}0 ms"
check helper-list-as-root sh -c "grep -v '^rc=' /tmp/helper-list.txt | cmp -s - /tmp/root-list.txt"
check helper-list-status grep -qx 'rc=0' /tmp/helper-list.txt
check helper-ends-with-client sh -c '! grep -q helper-still-running /tmp/helper-list.txt'

ide=$(grep -o '^ide:/dev/sd[a-z]*' /tmp/root-list.txt | head -n 1)
start=$(uptime_cs); timeout 120 vtutil probe > /tmp/root-probe.txt 2>&1; root_cs=$(($(uptime_cs) - start))
start=$(uptime_cs); as_user /tmp/helper-probe.txt probe; user_cs=$(($(uptime_cs) - start))
echo "VM: helper probe:"; cat /tmp/helper-probe.txt
echo "VM: timing probe: root ${root_cs}0 ms, nobody through the helper ${user_cs}0 ms"
check helper-probe-model grep -q "model \"$model\", serial \"$serial\"" /tmp/helper-probe.txt
check helper-probe-as-root sh -c "grep -v '^rc=' /tmp/helper-probe.txt | cmp -s - /tmp/root-probe.txt"
check helper-no-rights-message sh -c "! grep -q 'No permission' /tmp/helper-probe.txt"

# The self-test's writes and reads, the largest transfers the tool makes, through the helper.
start=$(uptime_cs); as_user /tmp/helper-rw.txt "rwtest $ide --yes"; user_cs=$(($(uptime_cs) - start))
echo "VM: helper rwtest:"; cat /tmp/helper-rw.txt
echo "VM: timing rwtest: nobody through the helper ${user_cs}0 ms"
check helper-rwtest-passes grep -q '^R/W Test successfully' /tmp/helper-rw.txt
check helper-rwtest-status grep -qx 'rc=0' /tmp/helper-rw.txt
rm -f /tmp/helper.in /tmp/helper.out /bin/vt-helper-bridge
