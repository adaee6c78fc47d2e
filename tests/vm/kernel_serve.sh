# Sourced inside a kernel-disk machine: puts the drives of $bench behind kernel disks with the
# device server (log /tmp/serve.log, images in /tmp/dump) and waits until it is ready. Sets
# $serve_pid; `commands N` prints how many commands drive N has taken so far.
mount -t configfs configfs /sys/kernel/config
# A device controller for each USB drive of the bench files, and usb-storage scans a new device at
# once instead of after a second.
rmmod dummy_hcd && modprobe dummy_hcd num=3
echo 0 > /sys/module/usb_storage/parameters/delay_use
mkdir -p /tmp/prog /tmp/dump
head -c 4096 /dev/zero | tr '\000' '\021' > /tmp/prog/GDP.bin

if grep -q -- --trace /serve.options 2>/dev/null; then
  mount -t debugfs debugfs /sys/kernel/debug
  echo 'module target_core_user +p' > /sys/kernel/debug/dynamic_debug/control
  echo 'module tcm_loop +p' > /sys/kernel/debug/dynamic_debug/control
  echo 'module usb_storage +p' > /sys/kernel/debug/dynamic_debug/control
fi
serve_started=$(date +%s)
: > /tmp/serve.log
vtbench-serve --dump-dir /tmp/dump $(cat /serve.options 2>/dev/null) "$bench" > /tmp/serve.log 2>&1 &
serve_pid=$!
i=0
while ! grep -q '^vtbench-serve: ready' /tmp/serve.log && [ $i -lt 120 ] && kill -0 $serve_pid 2>/dev/null; do
  sleep 0.25; i=$((i + 1))
done
echo "VM: server up after $(($(date +%s) - serve_started)) s:"; cat /tmp/serve.log
commands() { kill -USR1 $serve_pid; sleep 0.3; grep "drive $1: .* commands" /tmp/serve.log | tail -n 1 | awk '{print $4}'; }
